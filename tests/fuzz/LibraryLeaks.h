#pragma once
// Leaks inside the decoding libraries, which the caller cannot free:
// - libopusfile 0.12 keeps the comments of the first link when it refuses a
//   seekable stream after reading its headers (op_open_callbacks failing
//   with OP_EBADTIMESTAMP, for one: regressions/opus/library_leak_on_refusal.hex);
//   op_free cannot reach them.
// - libvorbisfile keeps 8 bytes after refusing
//   regressions/ogg/library_leak_on_refusal.hex.
// The libraries are not built with frame pointers, so their leaks show with
// a stack of one frame inside them and can only be told apart by the
// library's name. LeakSanitizer reads the list from this hook: include the
// header in exactly one source file of a program (test_formats:
// FlacOpusFuzzRegressionTest.cpp; the Opus and Vorbis fuzz targets).

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libopusfile.so\n"
           "leak:libvorbisfile.so\n";
}
