#pragma once

#include <functional>

namespace qv::test {

// Runs `check` as a user whom permissions hold back. Under the superuser (CI runs as root)
// the check runs in a child process that has dropped to "nobody" for good; its failures are
// printed by the child and make it exit non-zero. The check makes its own temporary folder.
void asUnprivilegedUser(const std::function<void()>& check);

} // namespace qv::test
