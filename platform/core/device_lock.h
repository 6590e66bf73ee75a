// One process changes a device at a time.
//
// Every command that changes a device (a backup, a restore, an import, the
// making of a device, the window while it is open) holds an advisory lock
// (flock) on ".device/lock" for its whole run. A second process asking for
// it waits a little, then hears that the device is busy. The lock belongs
// to the process: the stores may ask whether this process holds it (then no
// other process can be changing the device's files meanwhile), and it goes
// with the process however that ends.
#pragma once

#include <chrono>

namespace vardel::device {

enum class LockResult { locked, busy, failed };

// Takes the lock of the current device (making .device and its lock file
// through the root's descriptor if missing), waiting up to `wait` for a
// process that holds it. `failed` with errno when the file cannot be made
// or opened (a .device that is a link is refused with EXDEV). Taking it
// again while held is a no-op.
LockResult lock_device(std::chrono::milliseconds wait = std::chrono::seconds(2));

// Lets the lock go (a no-op when not held).
void unlock_device();

// True while this process holds the current device's lock.
bool locked_by_this_process();

// Counts the times this process has taken the lock: the same count, with the
// lock held, at two moments means it was held all the time between them.
unsigned long lock_takings();

}  // namespace vardel::device
