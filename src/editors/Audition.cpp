#include "Audition.h"

#include "core/MidiSink.h"
#include "core/QuenlorCode.h"

Audition::Audition(QuenlorCode& code, int noteMs, QObject* parent) : QObject(parent), m_code(code) {
    m_noteTimer.setSingleShot(true);
    m_noteTimer.setInterval(noteMs);
    connect(&m_noteTimer, &QTimer::timeout, this, &Audition::stopNote);
}

Audition::~Audition() { stopNote(); }

void Audition::play(const PatchValues& values) {
    stopNote();
    m_code.sendPatchValues(values);
    if (!m_code.Midi || m_code.PlayNoteWhenAuditioning != kOn) return;
    m_code.Midi->PlayPatchNoteOn(m_code.outputChannel(), TestNote::kNote, TestNote::kVelocity);
    m_noteOn = true;
    m_noteTimer.start();
}

void Audition::stopNote() {
    m_noteTimer.stop();
    if (!m_noteOn) return;
    m_noteOn = false;
    if (m_code.Midi) m_code.Midi->PlayNoteOff(m_code.outputChannel(), TestNote::kNote);
}
