// intro-render run as a program in a fresh directory of its own, its
// standard output and error kept apart.
#pragma once
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

struct Ran {
    int status = -1;
    std::string out, err;
};

inline std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// intro-render with `args` in a fresh directory (its working directory).
struct ProgramDir {
    std::string dir;
    ProgramDir()
    {
        char name[] = "/tmp/intro-render-run-XXXXXX";
        dir = mkdtemp(name) ? name : "";
    }
    ~ProgramDir()
    {
        if (!dir.empty()) std::system(("rm -rf '" + dir + "'").c_str());
    }
    Ran run(const std::string &args) const
    {
        std::string command = "cd '" + dir + "' && '" INTRO_RENDER_PATH "' " + args + " >out.txt 2>err.txt";
        int raw = std::system(command.c_str());
        Ran r;
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = slurp(dir + "/out.txt");
        r.err = slurp(dir + "/err.txt");
        return r;
    }
};
