// The upgrade side of kestrel-quoted: the information file at /kestrelmv/kestrelmv.inf and a
// folder of files to download, for demos and tests of the online upgrade.
#pragma once

#include <optional>
#include <string>

#include "http.h"

namespace upgradefiles {

struct Options {
    std::string InfoFile;       // served as the information file; empty: the built-in one
    std::string Folder;         // served under /kestrelmv/files/
    std::string PrivateFolder;  // served under /kestrelmv/private/ behind the login
    std::string Login;          // user:password of /kestrelmv/private/, no default
    std::string LoginFile;      // or a file holding it
    bool Switches = false;      // the fault queries of the upgrade paths
    bool Routes = true;         // the upgrade paths exist at all
};

extern const char* const kUsage;

// Reads one of the options at argv[i] (advancing i past its value). False when argv[i] is none
// of them; ok turns false when it is one but its value is missing.
bool ParseOption(int argc, char** argv, int& i, Options& options, bool& ok);

// Whether any of the options was given.
bool Asked(const Options& options);

// Reads the login file; a reason when the options cannot serve (a private folder without login).
std::optional<std::string> Check(Options& options);

void Register(kestrel::quoted::http::Server& server, const Options& options);

}  // namespace upgradefiles
