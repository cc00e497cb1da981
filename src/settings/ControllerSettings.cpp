#include "ControllerSettings.h"

#include "SettingsStore.h"
#include "core/QuenlorCode.h"

#include <QSet>

namespace {
const QString kControllers = QStringLiteral("Controllers");
const QString kPassThrough = QStringLiteral("PassThrough");
const QString kYes = QStringLiteral("Yes");
const QString kNo = QStringLiteral("No");

QString keyOf(int parameter) { return QString::fromStdString(ControllerMap::key(parameter)); }

// The parameters whose keys stand for `parameter`'s mapping: its group's members, or itself.
std::pair<int, int> keyRange(int parameter) {
    if (const SwitchGroup* group = switchGroupOf(parameter))
        return {group->FirstMember, group->lastMember()};
    return {parameter, parameter};
}

// Writes the key of the parameter's mapping and removes the others of its range that
// `present` holds (all of them when it is nullptr).
void store(const QuenlorCode& code, SettingsStore& settings, int parameter,
           const QSet<QString>* present) {
    const auto [first, last] = keyRange(parameter);
    const std::optional<ControllerMapping> mapping = code.Controllers.mapping(parameter);
    for (int p = first; p <= last; ++p) {
        const QString key = keyOf(p);
        if (mapping && p == first)
            settings.writeKey(kControllers, key, QString::fromStdString(ControllerMap::text(*mapping)));
        else if (!present || present->contains(key))
            settings.removeKey(kControllers, key);
    }
}
} // namespace

int LoadControllers(QuenlorCode& code, SettingsStore& store) {
    code.Controllers.clear();
    code.ControllerPassThrough = kOff;
    int passedOver = 0;
    for (const auto& [key, value] : store.readSection(kControllers)) {
        if (key == kPassThrough) {
            if (value == kYes)
                code.ControllerPassThrough = kOn;
            else if (value != kNo)
                ++passedOver;
            continue;
        }
        const std::optional<int> parameter = ControllerMap::parameterOfKey(key.toStdString());
        const std::optional<ControllerMapping> mapping =
            ControllerMap::fromText(value.toStdString());
        if (!parameter || !mapping || code.Controllers.mapped(*parameter) ||
            code.Controllers.parameterOf(mapping->Source) != 0) {
            ++passedOver;
            continue;
        }
        code.Controllers.bind(*parameter, *mapping);
    }
    return passedOver + store.passedOverLines(kControllers);
}

void SaveControllers(const QuenlorCode& code, SettingsStore& settings) {
    QSet<QString> present;
    for (const auto& pair : settings.readSection(kControllers)) present.insert(pair.first);
    for (int p = kFirstParameter; p <= kLastParameter; p = keyRange(p).second + 1)
        store(code, settings, p, &present);
    settings.writeKey(kControllers, kPassThrough, code.ControllerPassThrough == kOn ? kYes : kNo);
}

void SaveController(const QuenlorCode& code, SettingsStore& settings, int parameter) {
    if (parameter >= kFirstParameter && parameter <= kLastParameter)
        store(code, settings, parameter, nullptr);
}
