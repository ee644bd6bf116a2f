#pragma once
// libopusfile 0.12 keeps the comments of the first link when it refuses a
// seekable stream after reading its headers (op_open_callbacks failing with
// OP_EBADTIMESTAMP, for one: regressions/opus/library_leak_on_refusal.hex);
// op_free cannot reach them and there is nothing the caller can free. The
// library is not built with frame pointers, so its leaks show with a stack
// of one frame in it and can only be told apart by the library's name.
// Included by exactly one source file of a program: LeakSanitizer reads the
// suppressions from this hook.

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libopusfile.so\n";
}
