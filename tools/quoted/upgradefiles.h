// The upgrade side of kestrel-quoted: the information file at /kestrelmv/kestrelmv.inf and a
// folder of files to download, for demos and tests of the online upgrade.
#pragma once

#include <string>

namespace httplib {
class Server;
}

namespace upgradefiles {

struct Options {
    std::string InfoFile;                // served as the information file; empty: the built-in one
    std::string Folder;                  // served under /kestrelmv/files/ and /kestrelmv/private/
    std::string Login = "kestrel:demo";  // user:password of /kestrelmv/private/
};

extern const char* const kUsage;

// Reads one of the options at argv[i] (advancing i past its value). False when argv[i] is none
// of them; ok turns false when it is one but its value is missing.
bool ParseOption(int argc, char** argv, int& i, Options& options, bool& ok);

void Register(httplib::Server& server, const Options& options);

}  // namespace upgradefiles
