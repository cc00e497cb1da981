#include "Fingerprint.h"

#include "core/DumpEncoder.h"

namespace {
// FNV-1a, 64 bits: fast, well spread over short inputs and written down in full here,
// so no library update can change the keys of a stored library.
constexpr uint64_t kOffsetBasis = 14695981039346656037ull;
constexpr uint64_t kPrime = 1099511628211ull;
constexpr int kPackedSize = 2 * kLastParameter;
} // namespace

Fingerprinter::Fingerprinter() {
    BuildParameterTable(m_table);
}

uint64_t Fingerprinter::operator()(const PatchValues& values) {
    m_bank.setValues(kFirstPatch, values);
    DumpEncoder(m_bank, m_table, m_dump).EncodePatch(kFirstPatch);
    uint64_t hash = kOffsetBasis;
    for (int at = DumpBytes::kFirstNibbleOffset; at <= DumpBytes::kLastNibbleOffset; ++at) {
        hash ^= m_dump.Bytes[static_cast<std::size_t>(at)];
        hash *= kPrime;
    }
    return hash;
}

uint64_t fingerprintOf(const PatchValues& values) {
    return Fingerprinter()(values);
}

QString fingerprintText(uint64_t fingerprint) {
    return QStringLiteral("%1").arg(fingerprint, 16, 16, QLatin1Char('0'));
}

QByteArray packValues(const PatchValues& values) {
    QByteArray bytes(kPackedSize, '\0');
    for (int p = kFirstParameter; p <= kLastParameter; ++p) {
        const auto value = static_cast<uint16_t>(values[static_cast<std::size_t>(p)]);
        bytes[2 * (p - 1)] = static_cast<char>(value & 0xFF);
        bytes[2 * (p - 1) + 1] = static_cast<char>(value >> 8);
    }
    return bytes;
}

bool unpackValues(const QByteArray& bytes, PatchValues& values) {
    values.fill(0);
    if (bytes.size() != kPackedSize) return false;
    for (int p = kFirstParameter; p <= kLastParameter; ++p) {
        const auto low = static_cast<uint8_t>(bytes[2 * (p - 1)]);
        const auto high = static_cast<uint8_t>(bytes[2 * (p - 1) + 1]);
        values[static_cast<std::size_t>(p)] = static_cast<int16_t>(low | (high << 8));
    }
    return true;
}
