// The program's own modules: pieces it loads the first time they are needed, so that what they
// link (libcurl and its thirty libraries, Qt Multimedia and the audio server's client) costs a
// start that never uses them nothing.
#pragma once

#include <QString>

namespace kestrel {

// The folder of the program's own modules: lib/kestrel (as the install lays it out) beside the
// executable's bin folder, in the build tree as in a package.
QString ModuleFolder();

// The named entry point of the module file; nullptr, with the loader's reason in error, when the
// file is missing, cannot be loaded or lacks it. A module is never unloaded: what it made may
// live as long as the program.
void* ModuleEntry(const QString& path, const char* symbol, QString* error);

}  // namespace kestrel
