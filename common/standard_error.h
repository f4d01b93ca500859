#pragma once
// For the programs whose standard error must stay empty: libraries below them (Xlib,
// GLib, PocketSphinx) write diagnostics there on their own.
namespace kelvane::common {

// Points standard error at /dev/null. Call first thing in main, before any library runs.
void silenceStandardError();

}  // namespace kelvane::common
