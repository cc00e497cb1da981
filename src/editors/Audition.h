#pragma once

#include "core/PatchBank.h"

#include <QObject>
#include <QTimer>

class QuenlorCode;

// A patch sent to the instrument to be heard, leaving the bank as it is: the patch's
// dump, then, when "Play a note when auditioning" is on, the test note for a moment. The
// note belongs to its patch: it leaves after it, and when a newer audition's patch
// replaces it on the way, the note goes unplayed with it. A new audition ends the note of
// the one before and the note ends with its owner, so that no note is left hanging.
class Audition : public QObject {
public:
    Audition(QuenlorCode& code, int noteMs, QObject* parent = nullptr);
    ~Audition() override;

    void play(const PatchValues& values);
    void stopNote();

private:
    QuenlorCode& m_code;
    QTimer m_noteTimer;
    bool m_noteOn = false;
};
