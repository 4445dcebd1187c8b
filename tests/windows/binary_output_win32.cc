// The test program's standard output in binary mode: written to a pipe in
// text mode, each line would end in CR LF, and ctest, which reads the list of
// tests from that output, would take the CR for part of each name.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace {

const int kStandardOutputMode = _setmode(_fileno(stdout), _O_BINARY);

}  // namespace
