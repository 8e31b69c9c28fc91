#pragma once

#include <functional>

// Runs body in a forked child of the test, after restrict has narrowed what the child may do
// (a file size limit, another user), so that the test itself keeps its rights. Returns body's
// result (0 to 255), or -1 when the child did not end normally. Only for code that uses no
// threads: the child has the test's memory but none of its other threads.
namespace testsupport {

int inChild(const std::function<bool()> &restrict, const std::function<int()> &body);

// Restrictions for inChild.
// Files may grow to at most bytes; writing beyond fails with EFBIG instead of a signal.
bool limitFileSize(long bytes);
// The child becomes the unprivileged user nobody (65534) when it runs as root.
bool becomeNobody();

} // namespace testsupport
