#include "velutils/vellockorder.h"

#include "veltsan.h"

void VelLockOrder::acquired(const void *lock)
{
    VelTsan::acquire(lock);
}

void VelLockOrder::releasing(const void *lock)
{
    VelTsan::release(lock);
}
