#include "LockedParameters.h"

void LockedParameters::setLocked(const std::vector<int>& parameters, bool locked) {
    ParameterLocks locks = m_locks;
    for (const int parameter : parameters)
        locks.setLocked(parameter, locked);
    setLocks(locks);
}

void LockedParameters::setLocks(const ParameterLocks& locks) {
    if (locks == m_locks) return;
    m_locks = locks;
    emit changed();
}
