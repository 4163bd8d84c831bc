// Stands in for the program in the upgrade tests. "--hold MS" keeps its file busy (running) for
// a while; any other start appends a line to $KESTREL_FAKE_MARKER: the name it was started
// under, the size of the file it runs from, and its arguments separated by "|".
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--hold") == 0) {
        ::usleep(useconds_t(std::atoi(argv[2])) * 1000);
        return 0;
    }
    const char* marker = std::getenv("KESTREL_FAKE_MARKER");
    if (!marker)
        return 1;
    struct stat self;
    if (::stat("/proc/self/exe", &self) != 0)
        return 1;
    std::FILE* out = std::fopen(marker, "a");
    if (!out)
        return 1;
    const char* slash = std::strrchr(argv[0], '/');
    std::fprintf(out, "%s %lld ", slash ? slash + 1 : argv[0],
                 static_cast<long long>(self.st_size));
    for (int i = 1; i < argc; ++i)
        std::fprintf(out, "%s%s", i > 1 ? "|" : "", argv[i]);
    std::fputc('\n', out);
    std::fclose(out);
    return 0;
}
