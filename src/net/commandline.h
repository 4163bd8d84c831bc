// The command line of a file association, taken apart as the old runtime did.
#pragma once

#include <QString>

namespace kestrel {

// Splits a command line of a file association into its program and its parameters, both trimmed.
void SplitCommandLine(const QString& command, QString& program, QString& parameters);

}  // namespace kestrel
