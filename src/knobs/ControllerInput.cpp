#include "ControllerInput.h"

#include "editors/PatchWriter.h"
#include "core/ControllerScaling.h"
#include "core/QuenlorCode.h"
#include "editors/BankHistory.h"
#include "editors/EditorContext.h"
#include "editors/NormalEdit.h"
#include "settings/ControllerSettings.h"
#include "settings/ControllersPage.h"

#include <QApplication>
#include <QKeyEvent>
#include <algorithm>
#include <utility>

namespace {
constexpr uint8_t kKindMask = 0xF0;
constexpr uint8_t kChannelMask = 0x0F;

QString caption(int parameter) { return NormalEdit::parameterCaption(parameter); }

// The Control Changes that read the selected NRPN or RPN, or select one.
bool readsSelection(int number) {
    using D = ControllerDecoder;
    return number == D::kDataEntry || number == D::kDataEntryFine ||
           (number >= D::kDataIncrement && number <= D::kRpnUpper);
}

QString controllerName(const Controller& source) {
    return QObject::tr("%1 on channel %2")
        .arg(ControllersPage::controllerText(source))
        .arg(source.Channel);
}
} // namespace

ControllerInput::ControllerInput(EditorContext& context, SettingsStore& store, PatchWriter& writer,
                                 std::function<int()> target,
                                 std::function<void(const QString&)> status, QObject* parent)
    : QObject(parent), m_context(context), m_store(store), m_writer(writer),
      m_target(std::move(target)), m_status(std::move(status)) {
    m_context.Controllers = this;
}

ControllerInput::~ControllerInput() {
    stopLearning();
    if (m_context.Controllers == this) m_context.Controllers = nullptr;
}

void ControllerInput::load() {
    const int passedOver = LoadControllers(m_context.Code, m_store);
    if (passedOver == 1)
        m_status(tr("1 controller setting could not be read and is ignored"));
    else if (passedOver > 1)
        m_status(tr("%1 controller settings could not be read and are ignored").arg(passedOver));
}

bool ControllerInput::take(const ShortMessage& message, const PassOn& passOn) {
    const std::optional<ControllerMove> move =
        m_decoder.read(message.Status, message.Data1, message.Data2);
    const int channel = message.Status & kChannelMask;
    const bool controlChange = (message.Status & kKindMask) == MidiBytes::kControlChange;
    if (controlChange && holdSelection(message, message.Data1)) return true;
    const bool nrpn = move && move->Source.Type == Controller::Kind::Nrpn;
    // Anything else on the channel that reads or replaces the selection decides what
    // waits: an NRPN value that plays or teaches a knob takes it along, all else lets it go.
    if (controlChange && !nrpn && readsSelection(message.Data1)) release(channel, passOn);
    if (!move) return false;
    QuenlorCode& code = m_context.Code;
    const bool kept = code.ControllerPassThrough != kOn;
    // Plain data entry, with no NRPN selected, is no knob: never learnt, never played.
    if (!ControllerMap::playable(move->Source)) return false;
    if (m_learning != 0) {
        if (nrpn) m_held[channel].Count = 0;
        bindLearnt(move->Source);
        return kept;
    }
    const int parameter = code.Controllers.parameterOf(move->Source);
    if (parameter == 0) {
        if (nrpn) release(channel, passOn);
        return false;
    }
    if (nrpn) m_held[channel].Count = 0;
    const int patch = m_target();
    if (patch < kFirstPatch || patch > kLastPatch) return kept;
    if (m_pending && m_pending->Patch != patch) write();
    if (!m_pending) m_pending = Pending{patch, code.PatchBank.values(patch), {}, {}};
    ControllerScaling::apply(m_pending->Values.data(), parameter,
                             code.Controllers.mapping(parameter)->Mode, *move);
    std::vector<int>& played = m_pending->Parameters;
    if (std::find(played.begin(), played.end(), parameter) == played.end()) {
        const Controller& c = move->Source;
        played.push_back(parameter);
        m_pending->Key += QStringLiteral("/%1.%2.%3").arg(c.Channel).arg(int(c.Type)).arg(c.Number);
    }
    return kept;
}

void ControllerInput::finish() { write(); }

// A CC 99 or 98 waits while it may select a knob's NRPN: while one is being learnt or an
// NRPN plays a parameter on its channel, and its messages are not passed on anyway.
bool ControllerInput::holdSelection(const ShortMessage& message, int number) {
    if (number != ControllerDecoder::kNrpnUpper && number != ControllerDecoder::kNrpnLower)
        return false;
    const int channel = message.Status & kChannelMask;
    if (m_context.Code.ControllerPassThrough == kOn || (m_learning == 0 && !playsNrpnOn(channel)))
        return false;
    Held& held = m_held[channel];
    // The latest of each half is what selects: an older one of the same half goes.
    if (held.Count > 0 && held.Messages[0].Data1 == number) {
        held.Messages[0] = held.Messages[1];
        --held.Count;
    } else if (held.Count > 1 && held.Messages[1].Data1 == number) {
        --held.Count;
    }
    held.Messages[held.Count++] = message;
    return true;
}

void ControllerInput::release(int channel, const PassOn& passOn) {
    Held& held = m_held[channel];
    for (int i = 0; i < held.Count; ++i)
        if (passOn) passOn(held.Messages[i]);
    held.Count = 0;
}

bool ControllerInput::playsNrpnOn(int channel) const {
    const ControllerMap& map = m_context.Code.Controllers;
    for (const int parameter : map.parameters()) {
        const Controller source = map.mapping(parameter)->Source;
        if (source.Type == Controller::Kind::Nrpn && source.Channel == channel + 1) return true;
    }
    return false;
}

// One step for each turn of a knob: its changes join while it turns, on its own patch.
// Knobs turned together are one step; a knob taking over from another starts a new one.
void ControllerInput::write() {
    if (!m_pending) return;
    const Pending done = std::move(*m_pending);
    m_pending.reset();
    if (m_context.History) m_context.History->continueGesture();
    if (done.Values == m_context.Code.PatchBank.values(done.Patch)) return;
    QStringList captions;
    for (const int parameter : done.Parameters) captions << caption(parameter);
    m_writer.write(done.Patch, done.Values, captions.join(QStringLiteral(", ")),
                   QStringLiteral("Controller/%1%2").arg(done.Patch).arg(done.Key));
}

void ControllerInput::learn(int parameter) {
    if (parameter < kFirstParameter || parameter > kLastParameter) return;
    if (m_learning == 0) qApp->installEventFilter(this);
    m_learning = ControllerMap::target(parameter);
    m_status(tr("Move a control on your MIDI device for %1\u2026 (Esc cancels)")
                 .arg(caption(m_learning)));
}

// A knob moved to another parameter keeps the way it counts.
void ControllerInput::bindLearnt(const Controller& source) {
    QuenlorCode& code = m_context.Code;
    const int parameter = m_learning;
    stopLearning();
    ControllerMapping mapping{source, ControllerMode::Absolute};
    if (const std::optional<ControllerMapping> before =
            code.Controllers.mapping(code.Controllers.parameterOf(source)))
        mapping.Mode = before->Mode;
    const int from = code.Controllers.bind(parameter, mapping);
    SaveController(code, m_store, parameter);
    QString text = tr("%1 now follows %2").arg(caption(parameter), controllerName(source));
    if (from != 0) {
        SaveController(code, m_store, from);
        text += tr(" (%1 no longer does)").arg(caption(from));
    }
    m_status(text);
}

void ControllerInput::forget(int parameter) {
    QuenlorCode& code = m_context.Code;
    if (!code.Controllers.mapped(parameter)) return;
    code.Controllers.forget(parameter);
    SaveController(code, m_store, parameter);
    m_status(tr("%1 follows no controller now").arg(caption(ControllerMap::target(parameter))));
}

void ControllerInput::cancelLearning() {
    if (m_learning == 0) return;
    stopLearning();
    m_status(tr("MIDI Learn cancelled"));
}

void ControllerInput::stopLearning() {
    if (m_learning != 0 && qApp) qApp->removeEventFilter(this);
    m_learning = 0;
}

// Escape in a menu or a dialog is theirs as well: it closes them.
bool ControllerInput::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && m_learning != 0) {
        cancelLearning();
        return !QApplication::activePopupWidget() && !QApplication::activeModalWidget();
    }
    return QObject::eventFilter(watched, event);
}
