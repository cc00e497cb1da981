#pragma once

#include "core/ParameterLocks.h"

#include <QObject>

// The parameters the user has locked against mutating, randomizing, morphing and
// breeding, shared by every window; the editors show them and the main window keeps
// them in the settings store.
class LockedParameters : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    const ParameterLocks& locks() const { return m_locks; }
    bool locked(int parameter) const { return m_locks.locked(parameter); }
    // Locks or unlocks the parameters (a switch group as a whole); changed() follows once
    // when anything changed.
    void setLocked(const std::vector<int>& parameters, bool locked);
    void setLocks(const ParameterLocks& locks);

signals:
    void changed();

private:
    ParameterLocks m_locks;
};
