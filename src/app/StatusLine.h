#pragma once

#include <QString>
#include <QStringList>

#include <array>

class QLabel;

// The main window's status text: the progress of the work that runs now, and otherwise
// the notices that still hold. The most important notice is in view, the restore offer
// first; every notice is in the text's tool tip, so that none hides another.
class StatusLine {
public:
    // In the order of their importance; a notice replaces the one of its kind before it.
    enum class Notice {
        RestoreOffer,  // unsaved banks of earlier runs can be restored
        CannotKeep,    // this run's unsaved changes cannot be kept on the disk
        UnsavedCopies, // copies set aside, or left for a newer version
        Library,       // what the library did or could not do
        Session,       // what the studio session did or could not do
        Count
    };

    explicit StatusLine(QLabel& label) : m_label(label) {}

    // The progress of the work that runs now; empty once it has ended, and the notices
    // are in view again. Shown at once, while the work still holds the program's thread.
    void setProgress(const QString& text);
    // Tells a notice of its kind; an empty text withdraws it.
    void tell(Notice kind, const QString& text);
    // Every notice that holds, the most important first.
    QString notices() const;

private:
    QStringList held() const;
    void show();

    QLabel& m_label;
    QString m_progress;
    std::array<QString, static_cast<std::size_t>(Notice::Count)> m_notices;
};
