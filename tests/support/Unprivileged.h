#pragma once

// File permissions do not stop root, so tests of unreadable and read-only
// files run their checks as the unprivileged user "nobody" when the suite
// runs as root.
namespace Unprivileged {

bool runningAsRoot();

// Runs one test function of this test program again, as "nobody", with the
// same arguments otherwise, and returns whether it passed. Its output is
// passed on.
bool rerun(const char* testFunction);

} // namespace Unprivileged
