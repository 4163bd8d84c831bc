// The upgrade side of kestrel-quoted: the information file at /kestrelmv/kestrelmv.inf and a
// folder of files to download, for demos and tests of the online upgrade.
#pragma once

#include <optional>
#include <string>

#include "commandline.h"
#include "http.h"

namespace kestrel::gateway::upgradefiles {

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

// One of the upgrade options with its value; a missing value is refused.
Parsed ParseOption(Arguments& args, Options& options);

// Decides which upgrade paths the exposure allows and reads the login file; a reason when the
// options cannot serve (a private folder without login).
std::optional<std::string> Check(Options& options, const Exposure& exposure);

void Register(http::Server& server, const Options& options);

}  // namespace kestrel::gateway::upgradefiles
