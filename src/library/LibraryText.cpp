#include "LibraryText.h"

#include <QList>
#include <QStringDecoder>

#include <algorithm>
#include <optional>

namespace {
constexpr char16_t kFirstNonAscii = 0x80;
constexpr char16_t kLastLatin1 = 0xFF;

// The bytes as UTF-8, or nothing when they are not valid UTF-8.
std::optional<QString> utf8(QByteArrayView bytes) {
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless |
                                                       QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) return std::nullopt;
    return text;
}
} // namespace

QString pathText(const QByteArray& path) {
    if (const auto whole = utf8(path)) return *whole;
    QStringList parts;
    for (const QByteArray& part : path.split('/'))
        parts << utf8(part).value_or(QString::fromLatin1(part));
    return parts.join(QLatin1Char('/'));
}

QString shownName(const QString& kept) {
    const bool plain =
        std::all_of(kept.begin(), kept.end(), [](QChar c) { return c.unicode() < kFirstNonAscii; });
    const bool bytes =
        std::all_of(kept.begin(), kept.end(), [](QChar c) { return c.unicode() <= kLastLatin1; });
    if (plain || !bytes) return kept;
    return utf8(kept.toLatin1()).value_or(kept);
}
