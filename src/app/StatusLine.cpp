#include "StatusLine.h"

#include <QLabel>
#include <QStringList>

void StatusLine::setProgress(const QString& text) {
    m_progress = text;
    show();
}

void StatusLine::tell(Notice kind, const QString& text) {
    m_notices[static_cast<std::size_t>(kind)] = text;
    show();
}

QStringList StatusLine::held() const {
    QStringList held;
    for (const QString& notice : m_notices)
        if (!notice.isEmpty()) held << notice;
    return held;
}

QString StatusLine::notices() const { return held().join(QLatin1Char('\n')); }

void StatusLine::show() {
    const QStringList notices = held();
    QString text = m_progress;
    if (text.isEmpty() && !notices.isEmpty()) {
        text = notices.front();
        const qsizetype more = notices.size() - 1;
        if (more == 1)
            text += QStringLiteral("  (and 1 more notice)");
        else if (more > 1)
            text += QStringLiteral("  (and %1 more notices)").arg(more);
    }
    m_label.setText(text);
    // A long notice is cut off at the window's edge; the tool tip holds each in full.
    const QString all = notices.join(QLatin1Char('\n'));
    m_label.setToolTip(all);
    m_label.setAccessibleDescription(all);
    m_label.repaint();
}
