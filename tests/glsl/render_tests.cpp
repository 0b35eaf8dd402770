// intro-render as a program (failures, crops, progress pictures, golden
// crops of the real picture) and the soft accumulation module it uses.
#include "bench.h"

#include <EGL/egl.h>
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include "gl/gl_loader.h"
#include "gl/soft_accum.h"
#include "render/egl_context.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb; // top row first
};

bool load_png(const std::string &path, Picture &picture)
{
    int channels = 0;
    unsigned char *data = stbi_load(path.c_str(), &picture.width, &picture.height, &channels, 3);
    if (!data) return false;
    picture.rgb.assign(data, data + (size_t)picture.width * picture.height * 3);
    stbi_image_free(data);
    return true;
}

Picture region(const Picture &p, int x, int y, int w, int h)
{
    Picture out;
    out.width = w;
    out.height = h;
    for (int row = y; row < y + h; ++row)
        out.rgb.insert(out.rgb.end(), p.rgb.begin() + ((size_t)row * p.width + x) * 3,
                       p.rgb.begin() + ((size_t)row * p.width + x + w) * 3);
    return out;
}

bool exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string quote(const std::string &s)
{
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// A fresh directory per test, removed at the end.
struct TempDir {
    std::string path;
    TempDir()
    {
        char name[] = "/tmp/intro-render-test-XXXXXX";
        path = mkdtemp(name) ? name : "";
    }
    ~TempDir()
    {
        if (!path.empty()) std::system(("rm -rf " + quote(path)).c_str());
    }
    std::string file(const std::string &name) const { return path + "/" + name; }
    std::vector<std::string> entries() const
    {
        std::vector<std::string> names;
        FILE *ls = popen(("ls -A " + quote(path)).c_str(), "r");
        char line[512];
        while (ls && std::fgets(line, sizeof line, ls)) {
            std::string name = line;
            if (!name.empty() && name.back() == '\n') name.pop_back();
            names.push_back(name);
        }
        if (ls) pclose(ls);
        return names;
    }
};

struct RunResult {
    int status = -1;
    std::string errors; // what it wrote on stderr
};

// `before` goes first on the shell's command line.
RunResult run_render(const std::string &args, const TempDir &dir, const std::string &stdout_to = ">/dev/null",
                     const std::string &before = "")
{
    RunResult result;
    std::string log = dir.file("stderr.txt");
    std::string command = before + quote(INTRO_RENDER_PATH) + " " + args + " 2>" + quote(log) + " " + stdout_to;
    int raw = std::system(command.c_str());
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    result.errors = text.str();
    std::remove(log.c_str());
    return result;
}

void write_text(const std::string &path, const std::string &text)
{
    std::ofstream(path) << text;
}

// The project's shader with a cheap, bright, time-varying sample pass in
// place of the tracer, so whole pictures are fast but the post pass is real.
std::string probe_shader()
{
    std::string shader = project_shader_text();
    const std::string head = "vec3 sample_pass(vec2 p)\n{";
    size_t at = shader.find(head);
    if (at == std::string::npos) {
        ADD_FAILURE() << "no sample_pass definition in the shader";
        return shader;
    }
    shader.replace(at, head.size(), "vec3 sample_pass(vec2 p);\nvec3 sample_pass_traced(vec2 p)\n{");
    return shader +
           "\nvec3 sample_pass(vec2 p)\n{\n"
           "    float spot = step(0.85, fract(3.0 * p.x + 0.05 * x)) * step(0.6, fract(2.5 * p.y));\n"
           "    return vec3(spot, 0.3 + 0.2 * p.y, fract(p.x + p.y + 0.1 * x) * 0.6);\n"
           "}\n";
}

} // namespace

TEST(RenderFailures, BadShaderReportsTheDriversLogAndWritesNothing)
{
    TempDir dir;
    // Each line of the driver's log as compilers print it, in the file as
    // named, at the column of the file's own line (the driver counts the
    // indentation as one blank).
    write_text(dir.file("broken.glsl"), "#version 430\nout vec4 f;\nvoid main()\n{\n    f = vec4(no_such_thing);\n}\n");
    RunResult r = run_render("--shader " + quote(dir.file("broken.glsl")) + " -s 1 -o " + quote(dir.file("out.png")), dir);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.errors.find("intro-render: the shader does not build:\n" + dir.file("broken.glsl") +
                            ":5:14: error: `no_such_thing' undeclared\n"),
              std::string::npos) << r.errors;
    for (const char *mode : {"--eval 1.0", "-s 1 --crop 0,0,8,8 --cost-map -o out.png"}) {
        std::string in_dir = "cd " + quote(dir.path) + " && ";
        r = run_render(std::string("--shader broken.glsl ") + mode, dir, ">/dev/null", in_dir);
        EXPECT_EQ(r.status, 1) << mode;
        EXPECT_NE(r.errors.find("\nbroken.glsl:5:14: error: `no_such_thing' undeclared\n"), std::string::npos)
            << mode << "\n" << r.errors;
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"broken.glsl"});

    r = run_render("--shader " + quote(dir.file("missing.glsl")) + " -o " + quote(dir.file("out.png")), dir);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.errors.find("intro-render: cannot read shader"), std::string::npos) << r.errors;
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"broken.glsl"});

    // Nor does an empty text, or a byte order mark alone: every mode refuses
    // them before the first sample, the baseline of a benchmark too.
    write_text(dir.file("empty.glsl"), "");
    write_text(dir.file("mark.glsl"), "\xEF\xBB\xBF");
    const std::string small = " -s 1 --crop 0,0,8,8 ";
    const std::string empty = "--shader " + quote(dir.file("empty.glsl")) + small;
    const std::string out = "-o " + quote(dir.file("out.png"));
    const std::string runs[] = {
        empty + "--margin 0 " + out,
        "--shader " + quote(dir.file("mark.glsl")) + small + "--margin 0 " + out,
        empty + "--part 0/1 --sums " + quote(dir.file("out.sums")),
        empty + "--benchmark",
        "--shader " + quote(std::string(INTRO_TEST_DATA) + "/cheap.glsl") + small + "--benchmark --baseline " +
            quote(dir.file("mark.glsl")),
        empty + "--cost-map " + out,
        "--shader " + quote(dir.file("empty.glsl")) + " --eval 1.0",
        "--shader " + quote(dir.file("empty.glsl")) + " --crop 0,0,8,8 --view 1.0 " + out,
    };
    for (const std::string &run : runs) {
        r = run_render(run, dir);
        EXPECT_EQ(r.status, 1) << run << "\n" << r.errors;
        EXPECT_NE(r.errors.find("does not build"), std::string::npos) << run << "\n" << r.errors;
    }
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"broken.glsl", "empty.glsl", "mark.glsl"}));
}

TEST(RenderFailures, ADeepExpressionBuildsAndACompilerThatCrashesAllTheSameIsReported)
{
    // A sum of 32,000 terms: the driver's compiler recurses over it deeper
    // than a process's first 8 MiB of stack allow.
    TempDir dir;
    std::string sum = "1.0";
    for (int k = 1; k < 32000; ++k) sum += "+1.0";
    write_text(dir.file("deep.glsl"), "#version 430\nlayout(location = 1) uniform ivec2 v;\nout vec4 f;\n"
                                      "void main() { f = vec4(" + sum + ") * float(v.x); }\n");
    const std::string cheap = quote(std::string(INTRO_TEST_DATA) + "/cheap.glsl");
    const std::string runs[] = {
        "--shader " + quote(dir.file("deep.glsl")) + " -s 1 --crop 0,0,8,8 --margin 0 -o " + quote(dir.file("out.png")),
        "--shader " + cheap + " --eval '" + sum + "'",
    };
    // The cache would hand back the program built before without compiling it.
    const std::string uncached = "MESA_SHADER_CACHE_DISABLE=true ";
    RunResult r = run_render(runs[0], dir, ">/dev/null", uncached);
    EXPECT_EQ(r.status, 0) << r.errors;
    r = run_render(runs[1], dir, ">" + quote(dir.file("value.txt")), uncached);
    EXPECT_EQ(r.status, 0) << r.errors;
    EXPECT_EQ(read_file(dir.file("value.txt")).substr(sum.size()), " = 32000\n");
    // Under a 256 KiB limit the build's stack is 8 MiB: the compiler
    // overflows it, and the program says so instead of dying of the signal.
    // --compare's trouble is 2, as cmp's.
    const std::string compare = "--compare " + quote(dir.file("deep.glsl")) + " --shader " + cheap +
                                " --crop 0,0,8,8 --margin 0";
    for (const std::string &run : {runs[0], runs[1], compare}) {
        r = run_render(run, dir, ">/dev/null", "ulimit -s 256; " + uncached);
        EXPECT_EQ(r.status, run == compare ? 2 : 1) << run.substr(0, 80) << "\n" << r.errors;
        EXPECT_EQ(r.errors, "intro-render: the driver's compiler crashed\n");
    }
}

TEST(RenderFailures, UnwritableOutputFailsBeforeRendering)
{
    TempDir dir;
    const std::string cheap = quote(std::string(INTRO_TEST_DATA) + "/cheap.glsl");
    RunResult r = run_render("--shader " + cheap + " -s 1 -o " + quote(dir.file("no/such/dir/out.png")), dir);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.errors.find("intro-render: cannot write"), std::string::npos) << r.errors;

    mkdir(dir.file("taken.png").c_str(), 0755);
    r = run_render("--shader " + cheap + " -s 1 -o " + quote(dir.file("taken.png")), dir);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.errors.find("is a directory"), std::string::npos) << r.errors;
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"taken.png"}) << "no temporary file is left";

    r = run_render("--samples 0", dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.errors.find("intro-render: samples"), std::string::npos) << r.errors;
    r = run_render("--crop 1900,0,64,64", dir);
    EXPECT_EQ(r.status, 2) << "a crop beyond the picture is refused";
}

TEST(RenderFailures, ShaderFilesAreCheckedAndExplained)
{
    TempDir dir;
    const std::string out = " -s 1 --crop 0,0,8,8 -o " + quote(dir.file("out.png"));
    const std::string cheap = read_file(std::string(INTRO_TEST_DATA) + "/cheap.glsl");
    mkdir(dir.file("shader_dir").c_str(), 0755);
    RunResult r = run_render("--shader " + quote(dir.file("shader_dir")) + out, dir);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.errors.find("cannot read shader \"" + dir.file("shader_dir") + "\": Is a directory"), std::string::npos)
        << r.errors;
    // A FIFO nobody writes to is refused, not waited on.
    mkfifo(dir.file("fifo.glsl").c_str(), 0644);
    r = run_render("--shader " + quote(dir.file("fifo.glsl")) + out, dir);
    EXPECT_NE(r.errors.find("fifo.glsl\": not a regular file"), std::string::npos) << r.errors;
    // Over the limit (sparse): refused before the driver sees it.
    write_text(dir.file("huge.glsl"), cheap);
    ASSERT_EQ(truncate(dir.file("huge.glsl").c_str(), 17 << 20), 0);
    r = run_render("--shader " + quote(dir.file("huge.glsl")) + out, dir);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.errors.find("huge.glsl\": too large: 17825792 bytes, more than the 16 MiB"), std::string::npos)
        << r.errors;
    EXPECT_FALSE(exists(dir.file("out.png")));

    // A byte order mark is skipped.
    write_text(dir.file("bom.glsl"), "\xEF\xBB\xBF" + cheap);
    r = run_render("--shader " + quote(dir.file("bom.glsl")) + out, dir);
    EXPECT_EQ(r.status, 0) << r.errors;
    EXPECT_EQ(r.errors.find("warning"), std::string::npos) << r.errors;
    // Without the uniform at location 1 every sample is the same: said once.
    write_text(dir.file("still.glsl"), "#version 430\nout vec4 f;\nvoid main() { f = vec4(0.5); }\n");
    r = run_render("--shader " + quote(dir.file("still.glsl")) + " -s 3 --crop 0,0,8,8 -o " + quote(dir.file("still.png")), dir);
    EXPECT_EQ(r.status, 0) << r.errors;
    const std::string warning = "intro-render: warning: the shader has no uniform at location 1: it ignores the "
                                "sample index, so every sample is the same\n";
    size_t at = r.errors.find(warning);
    EXPECT_NE(at, std::string::npos) << r.errors;
    EXPECT_EQ(r.errors.find(warning, at + 1), std::string::npos) << r.errors;
}

TEST(RenderOutputs, LinksDevicesFifosAndStandardOutputAreWrittenThrough)
{
    TempDir dir;
    const std::string run = "--shader " + quote(std::string(INTRO_TEST_DATA) + "/cheap.glsl") +
                            " -s 1 --crop 0,0,8,8 -o ";
    auto is_small_png = [](const std::string &path) {
        Picture p;
        return load_png(path, p) && p.width == 8 && p.height == 8;
    };
    // A link stays a link; its target gets the picture.
    ASSERT_EQ(symlink("target.png", dir.file("link.png").c_str()), 0);
    RunResult r = run_render(run + quote(dir.file("link.png")), dir);
    ASSERT_EQ(r.status, 0) << r.errors;
    struct stat st;
    ASSERT_EQ(lstat(dir.file("link.png").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_TRUE(is_small_png(dir.file("target.png")));
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"link.png", "target.png"}));

    // Standard output, by name or as "-", also into a pipe.
    r = run_render(run + "-", dir, ">" + quote(dir.file("dash.png")));
    EXPECT_EQ(r.status, 0) << r.errors;
    EXPECT_TRUE(is_small_png(dir.file("dash.png")));
    run_render(run + "/dev/stdout", dir, "| cat >" + quote(dir.file("piped.png")));
    EXPECT_TRUE(is_small_png(dir.file("piped.png")));
    ASSERT_EQ(lstat("/dev/stdout", &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    r = run_render("--progress-pictures " + run + "-", dir);
    EXPECT_EQ(r.status, 2) << "progress pictures need a file";
    // Closed, it is held on the null device: "-" is refused before the first
    // sample, and a file gets the picture, nothing else.
    r = run_render(run + "-", dir, ">&-");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.errors.find("intro-render: cannot write \"-\": standard output is closed\n"), std::string::npos)
        << r.errors;
    EXPECT_EQ(r.errors.find("samples"), std::string::npos) << r.errors;
    r = run_render(run + "/dev/stdout", dir, ">&-");
    EXPECT_NE(r.errors.find("intro-render: cannot write \"/dev/stdout\": standard output is closed\n"),
              std::string::npos) << r.errors;
    r = run_render(run + quote(dir.file("closed.png")), dir, ">&-");
    EXPECT_EQ(r.status, 0) << r.errors;
    EXPECT_TRUE(is_small_png(dir.file("closed.png")));

    // A FIFO is written, not replaced.
    ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0644), 0);
    r = run_render(run + quote(dir.file("fifo")), dir,
                   ">/dev/null & timeout 60 cat " + quote(dir.file("fifo")) + " >" + quote(dir.file("from_fifo.png")) + "; wait");
    EXPECT_TRUE(is_small_png(dir.file("from_fifo.png")));
    ASSERT_EQ(lstat(dir.file("fifo").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // Devices stay devices; a full one fails with the system's reason.
    r = run_render(run + "/dev/null", dir);
    EXPECT_EQ(r.status, 0) << r.errors;
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    r = run_render(run + "/dev/full", dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.errors.find("cannot write \"/dev/full\": No space left on device"), std::string::npos) << r.errors;
    ASSERT_EQ(stat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));

    // A failed progress picture (a file size limit standing in for a full
    // disk) ends the run; the one it wrote before stays and is named. The
    // first sample is flat, a small file; the later ones are grain.
    write_text(dir.file("grain.glsl"),
               "#version 430\nuniform sampler2D m;\nlayout(location = 1) uniform ivec2 v;\nout vec4 f;\n"
               "void main()\n{\n    vec2 uv = gl_FragCoord.xy / vec2(1920.0, 1080.0);\n"
               "    vec3 grain = fract(sin(dot(gl_FragCoord.xy, vec2(12.9898, 78.233)) + float(v.x) + "
               "vec3(0.0, 1.0, 2.0)) * 43758.5453);\n"
               "    f = vec4(v.y == 2 ? texture(m, uv).rgb : v.x == 0 ? vec3(0.5) : grain, 1.0);\n}\n");
    r = run_render("--shader " + quote(dir.file("grain.glsl")) + " -s 5 --progress-pictures --crop 0,0,64,64 "
                   "--margin 0 -o " + quote(dir.file("grain.png")), dir, ">/dev/null", "ulimit -f 8; exec ");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.errors.find("cannot write \"" + dir.file("grain.4.png") + "\": File too large\n"
                            "intro-render: this run's progress pictures stay: " + dir.file("grain.1.png") + "\n"),
              std::string::npos) << r.errors;
    EXPECT_TRUE(exists(dir.file("grain.1.png")));
    EXPECT_FALSE(exists(dir.file("grain.png")));
}

TEST(RenderOutputs, EveryNameIsCheckedBeforeTheFirstSample)
{
    TempDir dir;
    const std::string run = "--shader " + quote(std::string(INTRO_TEST_DATA) + "/cheap.glsl") +
                            " -s 5 --crop 0,0,8,8 ";
    // The longest name a directory takes: the temporary name must not fail it.
    const std::string longest = std::string(251, 'n') + ".png";
    RunResult r = run_render(run + "-o " + quote(dir.file(longest)), dir);
    EXPECT_EQ(r.status, 0) << r.errors;
    EXPECT_EQ(dir.entries(), std::vector<std::string>{longest});
    // Its progress pictures' names are longer: refused before rendering.
    r = run_render(run + "--progress-pictures -o " + quote(dir.file(longest)), dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.errors.find(std::string(251, 'n') + ".1.png\": File name too long"), std::string::npos) << r.errors;
    EXPECT_EQ(r.errors.find("samples"), std::string::npos) << "nothing rendered:\n" << r.errors;
    EXPECT_EQ(dir.entries(), std::vector<std::string>{longest});
}

TEST(RenderFailures, RefusalsNameTheRealFaultAndNoOptionIsIgnored)
{
    TempDir dir;
    auto f = [&](const std::string &name) { return quote(dir.file(name)); };
    const std::string cheap = "--shader " + quote(std::string(INTRO_TEST_DATA) + "/cheap.glsl") + " ";
    for (const char *share : {"0/2", "1/2"}) {
        RunResult r = run_render(cheap + "-s 2 --crop 0,0,8,8 --part " + share + " --sums " + f(std::string("p") + share[0]), dir);
        ASSERT_EQ(r.status, 0) << r.errors;
    }
    // A merge writes no progress pictures: the name it cannot write is the picture's.
    RunResult r = run_render(cheap + "--merge " + f("p0") + " " + f("p1") + " -o " + f("no/m.png"), dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.errors.find("cannot write \"" + dir.file("no/m.png") + "\""), std::string::npos) << r.errors;
    r = run_render("--merge " + f("p0") + " --part 0/3 --sums z", dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.errors.find("-o"), std::string::npos) << "no -o was given: " << r.errors;
    r = run_render("--part 0/4294967297 --sums z", dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.errors.find("N is too large"), std::string::npos) << r.errors;

    // What a mode would not use is refused like -o with --part, not dropped.
    for (const char *unused : {"--part 0/2 --sums z --progress-pictures", "--part 0/2 --sums z -o x.png",
                               "--benchmark --margin 8"}) {
        r = run_render(unused, dir);
        EXPECT_EQ(r.status, 2) << unused << ": " << r.errors;
        EXPECT_NE(r.errors.find("do not go together"), std::string::npos) << unused << ": " << r.errors;
    }
    // Only PNG and TGA are written: another extension is refused, none is PNG.
    r = run_render(cheap + "-s 1 --crop 0,0,8,8 -o " + f("pic.jpg"), dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.errors.find("PNG (.png) or TGA (.tga)"), std::string::npos) << r.errors;
    EXPECT_FALSE(exists(dir.file("pic.jpg")));
    r = run_render(cheap + "-s 1 --crop 0,0,8,8 -o " + f("pic"), dir);
    Picture plain;
    EXPECT_EQ(r.status, 0) << r.errors;
    EXPECT_TRUE(load_png(dir.file("pic"), plain));
}

TEST(RenderFailures, EmptyNamesAndOutputsThatAreTheirInputsAreRefused)
{
    TempDir dir;
    auto f = [&](const std::string &name) { return quote(dir.file(name)); };
    for (const char *mode : {"", "--eval 1.0", "--view x -o v.png", "--cost-map", "--benchmark",
                             "--part 0/1 --sums s", "--merge p"}) {
        RunResult r = run_render(std::string(mode) + " --shader ''", dir);
        EXPECT_EQ(r.status, 2) << mode;
        EXPECT_NE(r.errors.find("intro-render: the shader path is empty"), std::string::npos) << mode << r.errors;
    }
    for (const char *empty : {"-o ''", "--part 0/1 --sums ''", "--benchmark --baseline ''", "--merge ''"}) {
        RunResult r = run_render(empty, dir);
        EXPECT_EQ(r.status, 2) << empty;
        EXPECT_NE(r.errors.find(" path is empty"), std::string::npos) << empty << r.errors;
    }
    // The output may not be the shader, however it is named.
    const std::string cheap = read_file(std::string(INTRO_TEST_DATA) + "/cheap.glsl");
    write_text(dir.file("mys"), cheap);
    ASSERT_EQ(link(dir.file("mys").c_str(), dir.file("hard").c_str()), 0);
    ASSERT_EQ(symlink("mys", dir.file("soft").c_str()), 0);
    const std::string run = "-s 1 --crop 0,0,8,8 --shader " + f("mys") + " ";
    for (const std::string &args : {run + "-o " + f("mys"), run + "-o " + quote(dir.path + "/./mys"),
                                    run + "-o " + f("hard"), run + "-o " + f("soft"), run + "--watch -o " + f("mys"),
                                    run + "--part 0/1 --sums " + f("hard")}) {
        RunResult r = run_render(args, dir);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.errors.find("\": it is the shader \"" + dir.file("mys") + "\""), std::string::npos) << r.errors;
    }
    EXPECT_EQ(read_file(dir.file("mys")), cheap);
    write_text(dir.file("p0"), "parts");
    RunResult r = run_render("--merge " + f("p0") + " -o " + f("p0"), dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.errors.find("it is a part's sums"), std::string::npos) << r.errors;
    // What is not an option is named for what it is.
    r = run_render("--sam 3", dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.errors.find("ambiguous option \"--sam\": it could be --samples or --sample"), std::string::npos)
        << r.errors;
    r = run_render("-s 1 stray", dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.errors.find("unexpected argument \"stray\""), std::string::npos) << r.errors;
}

TEST(RenderFailures, LostStandardOutputFailsTheRun)
{
    TempDir dir;
    const std::string cheap = "--shader " + quote(std::string(INTRO_TEST_DATA) + "/cheap.glsl") + " ";
    const std::string cost_map = cheap + "--cost-map -s 1 --crop 0,0,4,4 --tile 4 -o " + quote(dir.file("c.png"));
    for (const std::string &args : {cheap + "--eval 1.0", std::string("--help"), cost_map})
        for (const char *stdout_to : {">&-", ">/dev/full"}) {
            RunResult r = run_render(args, dir, stdout_to);
            EXPECT_EQ(r.status, 1) << args << " " << stdout_to;
            EXPECT_NE(r.errors.find("intro-render: cannot write standard output: "), std::string::npos)
                << args << " " << stdout_to << "\n" << r.errors;
        }
    RunResult r = run_render(cheap + "--eval 1.0", dir, ">" + quote(dir.file("out.txt")));
    EXPECT_EQ(r.status, 0) << r.errors;
    EXPECT_EQ(read_file(dir.file("out.txt")), "1.0 = 1\n");
}

TEST(Render, CountsOfOneAreSingular)
{
    TempDir dir;
    const std::string cheap = "--shader " + quote(std::string(INTRO_TEST_DATA) + "/cheap.glsl") +
                              " -s 1 --crop 0,0,8,8 ";
    RunResult r = run_render(cheap + "-o " + quote(dir.file("one.png")), dir);
    ASSERT_EQ(r.status, 0) << r.errors;
    EXPECT_NE(r.errors.find("1/1 sample, "), std::string::npos) << r.errors;
    EXPECT_NE(r.errors.find("(8x8, 1 sample)"), std::string::npos) << r.errors;
    r = run_render(cheap + "--part 0/1 --sums " + quote(dir.file("p0")), dir);
    ASSERT_EQ(r.status, 0) << r.errors;
    r = run_render(cheap + "--merge " + quote(dir.file("p0")) + " -o " + quote(dir.file("merged.png")), dir);
    ASSERT_EQ(r.status, 0) << r.errors;
    EXPECT_NE(r.errors.find("(8x8, 1 sample from 1 part)"), std::string::npos) << r.errors;
    r = run_render("-s 1 --part 0/2 --sums x", dir);
    EXPECT_NE(r.errors.find("2 parts of 1 sample:"), std::string::npos) << r.errors;
}

TEST(Render, MeanOfQuantisedSamplesAndProgressPictures)
{
    // cheap.glsl: blue = v.x / 127, copied through by its post pass.
    TempDir dir;
    const std::string cheap = quote(std::string(INTRO_TEST_DATA) + "/cheap.glsl");
    RunResult r = run_render("--shader " + cheap + " -s 5 -o " + quote(dir.file("pic.png")), dir);
    ASSERT_EQ(r.status, 0) << r.errors;
    EXPECT_NE(r.errors.find("5/5 samples"), std::string::npos) << "progress bar:\n" << r.errors;
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"pic.1.png", "pic.4.png", "pic.png"}));
    Picture full, after1, after4;
    ASSERT_TRUE(load_png(dir.file("pic.png"), full));
    ASSERT_TRUE(load_png(dir.file("pic.1.png"), after1));
    ASSERT_TRUE(load_png(dir.file("pic.4.png"), after4));
    ASSERT_EQ(full.width, 1920);
    ASSERT_EQ(full.height, 1080);
    // samples 0..4 give blue 0, 2, 4, 6, 8 (of 255) once quantised: means 0, 3, 4
    EXPECT_EQ(after1.rgb[2], 0);
    EXPECT_EQ(after4.rgb[2], 3);
    EXPECT_EQ(full.rgb[2], 4);
    // top-left pixel of the picture is the shader's column 0, row 1079
    EXPECT_EQ(full.rgb[0], 0);
    EXPECT_EQ(full.rgb[1], 255);

    // A crop writes only its region, without progress pictures by default.
    r = run_render("--shader " + cheap + " -s 5 --crop 100,200,30,20 -o " + quote(dir.file("crop.png")), dir);
    ASSERT_EQ(r.status, 0) << r.errors;
    Picture crop;
    ASSERT_TRUE(load_png(dir.file("crop.png"), crop));
    EXPECT_EQ(crop.width, 30);
    EXPECT_EQ(crop.height, 20);
    EXPECT_EQ(crop.rgb, region(full, 100, 200, 30, 20).rgb);
    EXPECT_FALSE(exists(dir.file("crop.1.png")));

    // The same crop as a TGA: the screen grab's layout, BGR from the bottom row up.
    r = run_render("--shader " + cheap + " -s 5 --crop 100,200,30,20 -o " + quote(dir.file("crop.TGA")), dir);
    ASSERT_EQ(r.status, 0) << r.errors;
    std::string tga = read_file(dir.file("crop.TGA"));
    ASSERT_EQ(tga.size(), 18u + 30 * 20 * 3);
    EXPECT_EQ(tga[2], 2);
    EXPECT_EQ(tga[12], 30);
    EXPECT_EQ(tga[14], 20);
    EXPECT_EQ(tga[16], 24);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x)
            for (int c = 0; c < 3; ++c)
                ASSERT_EQ((unsigned char)tga[18 + ((size_t)(19 - y) * 30 + x) * 3 + (2 - c)],
                          crop.rgb[((size_t)y * 30 + x) * 3 + c]) << x << "," << y;
}

TEST(Render, CropsWithTheirMarginMatchTheWholePicture)
{
    // The real post pass over a cheap, bright sample pass: its bloom reaches
    // far, and across the borders.
    TempDir dir;
    write_text(dir.file("probe.glsl"), probe_shader());
    const std::string common = "--shader " + quote(dir.file("probe.glsl")) + " -s 3 --no-progress-pictures ";
    RunResult r = run_render(common + "-o " + quote(dir.file("full.png")), dir);
    ASSERT_EQ(r.status, 0) << r.errors;
    Picture full;
    ASSERT_TRUE(load_png(dir.file("full.png"), full));

    struct Crop { int x, y, w, h; };
    // The edge crops take bloom from across the opposite edge; 0,500 lies in the
    // lit band, where a missing wrap-around span shows.
    for (Crop c : {Crop{900, 500, 48, 40}, Crop{0, 0, 40, 32}, Crop{1890, 1050, 30, 30}, Crop{0, 500, 64, 64}}) {
        char args[64];
        std::snprintf(args, sizeof args, "--crop %d,%d,%d,%d ", c.x, c.y, c.w, c.h);
        r = run_render(common + args + "-o " + quote(dir.file("crop.png")), dir);
        ASSERT_EQ(r.status, 0) << r.errors;
        Picture crop;
        ASSERT_TRUE(load_png(dir.file("crop.png"), crop));
        EXPECT_EQ(crop.rgb, region(full, c.x, c.y, c.w, c.h).rgb) << args;
    }
    // Without the margin the bloom from outside the crop is missing.
    r = run_render(common + "--crop 900,500,48,40 --margin 0 -o " + quote(dir.file("bare.png")), dir);
    ASSERT_EQ(r.status, 0) << r.errors;
    Picture bare;
    ASSERT_TRUE(load_png(dir.file("bare.png"), bare));
    EXPECT_NE(bare.rgb, region(full, 900, 500, 48, 40).rgb);
}

TEST(SoftAccum, SumsReturnsAndRestoresState)
{
    if (eglGetCurrentContext() == EGL_NO_CONTEXT) // the bench makes its context on first use
        glsl_eval("vec4 bench_eval(vec4 a, vec4 b) { return a; }", {{0, 0, 0, 0}});
    ASSERT_NE(eglGetCurrentContext(), EGL_NO_CONTEXT);
    while (glGetError() != GL_NO_ERROR) {
    }
    GLint bench_viewport[4], bench_framebuffer = 0, bench_program = 0;
    glGetIntegerv(GL_VIEWPORT, bench_viewport);
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bench_framebuffer);
    glGetIntegerv(GL_CURRENT_PROGRAM, &bench_program);
    const int w = 16, h = 8;
    std::string error;
    SoftAccum acc;
    gl_loader_load(egl_proc_address);
    ASSERT_TRUE(soft_accum_init(acc, w, h, error)) << error;

    GLuint sources[2];
    glGenTextures(2, sources);
    for (int i = 0; i < 2; ++i) {
        std::vector<unsigned char> texels(w * h * 4);
        for (int t = 0; t < w * h; ++t)
            for (int c = 0; c < 4; ++c) texels[t * 4 + c] = (unsigned char)(i == 0 ? 255 : (t * 4 + c) % 256);
        glBindTexture(GL_TEXTURE_2D, sources[i]);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    }
    GLuint target_texture, target;
    glGenTextures(1, &target_texture);
    glBindTexture(GL_TEXTURE_2D, target_texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, w, h, 0, GL_RGBA, GL_FLOAT, nullptr);
    glGenFramebuffers(1, &target);
    glBindFramebuffer(GL_FRAMEBUFFER, target);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target_texture, 0);

    // State the caller has set up, which every call must leave alone.
    GLuint unrelated_texture;
    glGenTextures(1, &unrelated_texture);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, unrelated_texture);
    glActiveTexture(GL_TEXTURE3);
    glUseProgram(0);
    glDisable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glViewport(1, 2, 3, 4);

    soft_accum_add(acc, sources[0], 0.25f);
    soft_accum_add(acc, sources[1], 0.5f);
    soft_accum_add(acc, sources[0], 0.25f);
    soft_accum_return(acc, 2.0f);

    GLint value = -1;
    glGetIntegerv(GL_CURRENT_PROGRAM, &value);
    EXPECT_EQ(value, 0);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &value);
    EXPECT_EQ(value, (GLint)target);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &value);
    EXPECT_EQ(value, GL_TEXTURE3);
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &value);
    EXPECT_EQ(value, (GLint)unrelated_texture);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    glGetIntegerv(GL_BLEND_DST_RGB, &value);
    EXPECT_EQ(value, GL_ONE_MINUS_SRC_ALPHA);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 3);

    std::vector<float> result(w * h * 4);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, target);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_FLOAT, result.data());
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    for (int t = 0; t < w * h * 4; ++t)
        ASSERT_NEAR(result[t], 2.0f * (0.5f + 0.5f * ((t % 256) / 255.0f)), 1e-5f) << t;

    // The scissor limits every operation, as with the real accumulation buffer.
    soft_accum_clear(acc);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 4, h);
    soft_accum_add(acc, sources[0], 1.0f);
    glDisable(GL_SCISSOR_TEST);
    soft_accum_return(acc, 1.0f);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_FLOAT, result.data());
    EXPECT_FLOAT_EQ(result[0], 1.0f);
    EXPECT_FLOAT_EQ(result[(w - 1) * 4], 0.0f);

    glViewport(bench_viewport[0], bench_viewport[1], bench_viewport[2], bench_viewport[3]);
    glBindFramebuffer(GL_FRAMEBUFFER, bench_framebuffer);
    glUseProgram(bench_program);
    glDeleteFramebuffers(1, &target);
    glDeleteTextures(1, &target_texture);
    glDeleteTextures(2, sources);
    glDeleteTextures(1, &unrelated_texture);
    soft_accum_destroy(acc);
}

TEST(RenderGolden, CropsOfTheFinishedPictureMatchTheCommittedOnes)
{
    // Crops of the real 128-sample picture; tests/data/golden/crops.txt lists
    // them, scripts/regen_golden.sh renders them with the same options.
    const std::string golden = std::string(INTRO_TEST_DATA) + "/golden/";
    std::ifstream list(golden + "crops.txt");
    ASSERT_TRUE(list) << "no " << golden << "crops.txt";
    TempDir dir;
    std::string line;
    int crops = 0;
    while (std::getline(list, line)) {
        std::istringstream fields(line);
        std::string name;
        int x, y, w, h, margin;
        if (line.empty() || line[0] == '#' || !(fields >> name >> x >> y >> w >> h >> margin)) continue;
        ++crops;
        Picture expected;
        ASSERT_TRUE(load_png(golden + name + ".png", expected))
            << "missing golden " << name << ".png: run scripts/regen_golden.sh";
        char args[128];
        std::snprintf(args, sizeof args, "--samples 128 --margin %d --crop %d,%d,%d,%d -o ", margin, x, y, w, h);
        RunResult r = run_render(args + quote(dir.file(name + ".png")), dir);
        ASSERT_EQ(r.status, 0) << r.errors;
        Picture got;
        ASSERT_TRUE(load_png(dir.file(name + ".png"), got));
        ASSERT_EQ(got.width, expected.width) << name;
        ASSERT_EQ(got.height, expected.height) << name;
        // A few 8-bit steps of slack for other drivers' float rounding.
        size_t off = 0, total_diff = 0;
        int worst = 0;
        for (size_t i = 0; i < got.rgb.size(); ++i) {
            int d = std::abs(int(got.rgb[i]) - int(expected.rgb[i]));
            off += d > 3;
            total_diff += d;
            worst = std::max(worst, d);
        }
        double mean = double(total_diff) / got.rgb.size();
        EXPECT_LE(off, got.rgb.size() / 200) << name << ": " << off << " values differ by more than 3 (worst "
                                             << worst << "); if intended, run scripts/regen_golden.sh";
        EXPECT_LE(mean, 0.5) << name << ": mean difference " << mean;
    }
    EXPECT_GE(crops, 3);
}

TEST(RenderExactness, TheShaderDrawsTheBaselinesPictureByteForByte)
{
    // tests/data/baseline.glsl is the straightforward shader the optimised
    // one must match: the march and normal reorganisation may not move a bit.
    TempDir dir;
    const std::string baseline = quote(std::string(INTRO_TEST_DATA) + "/baseline.glsl");
    struct Crop { const char *what; int x, y; };
    // The front wing's crop caught the car added to the normal in a loop,
    // whose rounding differs in one traced pixel there. Where the rail
    // passes above the car, steps need both the car and the background:
    // leaving the background out of the car's loop changes that crop.
    const Crop crops[] = {{"car nose", 900, 420},   {"front wing", 688, 632}, {"road", 400, 760},
                          {"blocks", 1620, 400},    {"guard rail", 320, 220}, {"side text", 1190, 420},
                          {"wing text", 1290, 345}, {"rail above the car", 896, 288},
                          // The edge of the letterbox, the vignette's corner and bloom at the border.
                          {"corner of the visible band", 0, 120}};
    for (const Crop &c : crops) {
        char args[96];
        std::snprintf(args, sizeof args, "-s 2 --margin 0 --crop %d,%d,32,32 -o ", c.x, c.y);
        RunResult r = run_render(std::string("--shader ") + baseline + " " + args + quote(dir.file("base.png")), dir);
        ASSERT_EQ(r.status, 0) << r.errors;
        r = run_render(args + quote(dir.file("new.png")), dir);
        ASSERT_EQ(r.status, 0) << r.errors;
        Picture expected, got;
        ASSERT_TRUE(load_png(dir.file("base.png"), expected));
        ASSERT_TRUE(load_png(dir.file("new.png"), got));
        ASSERT_EQ(got.rgb.size(), 32u * 32 * 3);
        size_t differing = 0;
        for (size_t i = 0; i < got.rgb.size(); i += 3)
            differing += !std::equal(got.rgb.begin() + i, got.rgb.begin() + i + 3, expected.rgb.begin() + i);
        EXPECT_EQ(differing, 0u) << c.what << " at " << c.x << "," << c.y << ": pixels that differ";
    }
}

namespace {

// intro-render --watch in the background, its messages in a file.
struct Watcher {
    pid_t pid = -1;
    std::string log;

    // `prefix`: shell commands before it, such as a stack limit.
    Watcher(const std::string &args, const TempDir &dir, const std::string &prefix = "") : log(dir.file("watch.log"))
    {
        std::string command = prefix + "exec " + quote(INTRO_RENDER_PATH) + " --watch " + args + " 2>" + quote(log);
        pid = fork();
        if (pid == 0) {
            execl("/bin/sh", "sh", "-c", command.c_str(), (char *)nullptr);
            _exit(127);
        }
    }
    ~Watcher()
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    std::string messages() const { return read_file(log); }
    // Where `text` first appears at or after `from`, waiting for it up to a
    // minute; npos if it never does.
    size_t wait_for(const std::string &text, size_t from = 0) const
    {
        for (int tries = 0; tries < 1200; ++tries) {
            size_t at = messages().find(text, from);
            if (at != std::string::npos) return at;
            usleep(50 * 1000);
        }
        return std::string::npos;
    }
    // Sends `sig` and returns the exit status, -1 if it died otherwise or
    // did not end within a minute.
    int stop(int sig)
    {
        kill(pid, sig);
        int raw = 0;
        for (int tries = 0; tries < 1200; ++tries) {
            if (waitpid(pid, &raw, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
            }
            usleep(50 * 1000);
        }
        return -1;
    }
};

// The cheap shader with `replace` put in for `find`.
std::string cheap_variant(const std::string &find, const std::string &replace)
{
    std::string text = read_file(std::string(INTRO_TEST_DATA) + "/cheap.glsl");
    size_t at = text.find(find);
    EXPECT_NE(at, std::string::npos) << find;
    return at == std::string::npos ? text : text.replace(at, find.size(), replace);
}

// Saved the way editors do: written beside it, then renamed over it.
void save(const std::string &path, const std::string &text)
{
    write_text(path + ".part", text);
    ASSERT_EQ(std::rename((path + ".part").c_str(), path.c_str()), 0);
}

} // namespace

TEST(RenderWatch, EverySaveIsRenderedABrokenOneKeepsTheLastPicture)
{
    TempDir dir;
    const std::string shader = dir.file("s.glsl"), picture = dir.file("p.png");
    save(shader, cheap_variant("", ""));
    Watcher w("--shader " + quote(shader) + " --crop 0,0,64,64 --margin 0 -s 4 -o " + quote(picture), dir);
    size_t at = w.wait_for("intro-render: 4 samples");
    ASSERT_NE(at, std::string::npos) << w.messages();
    Picture first;
    ASSERT_TRUE(load_png(picture, first));
    EXPECT_EQ(first.width, 64);
    EXPECT_EQ(first.rgb[0], 0) << "red is the column: 0 at the left edge";

    save(shader, cheap_variant("uv.x, uv.y", "1.0 - uv.x, uv.y"));
    at = w.wait_for("intro-render: 4 samples", w.wait_for("saved", at));
    ASSERT_NE(at, std::string::npos) << w.messages();
    Picture second;
    ASSERT_TRUE(load_png(picture, second));
    EXPECT_EQ(second.rgb[0], 255) << "the saved program draws";

    // The error is on line 10 of the file; the log must say so.
    const std::string before = read_file(picture);
    save(shader, cheap_variant("    vec2 uv", "    f = vec4(no_such_name);\n    vec2 uv"));
    at = w.wait_for("the picture stays", at);
    ASSERT_NE(at, std::string::npos) << w.messages();
    std::string log = w.messages().substr(0, at);
    EXPECT_NE(log.find("no_such_name"), std::string::npos) << log;
    EXPECT_TRUE(log.find(":10(") != std::string::npos || log.find(":10:") != std::string::npos) << log;
    EXPECT_EQ(read_file(picture), before) << "the last good picture stays";

    save(shader, cheap_variant("uv.x, uv.y", "uv.x, 0.0"));
    at = w.wait_for("intro-render: 4 samples", at);
    ASSERT_NE(at, std::string::npos) << w.messages();
    Picture third;
    ASSERT_TRUE(load_png(picture, third));
    EXPECT_EQ(third.rgb[1], 0) << "a good save after a broken one is rendered";

    EXPECT_EQ(w.stop(SIGINT), 0) << w.messages();
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"p.png", "s.glsl", "watch.log"})) << "no temporary file";
}

TEST(RenderWatch, ABuildThatCrashesTheCompilerWaitsForTheNextSave)
{
    TempDir dir;
    const std::string shader = dir.file("s.glsl");
    std::string sum = "1.0";
    for (int k = 1; k < 32000; ++k) sum += "+1.0";
    save(shader, "#version 430\nlayout(location = 1) uniform ivec2 v;\nout vec4 f;\nvoid main() { f = vec4(" + sum +
                     ") * float(v.x); }\n");
    // Under a 256 KiB limit the build's stack (8 MiB) cannot hold the sum.
    Watcher w("--shader " + quote(shader) + " --crop 0,0,8,8 --margin 0 -s 1 -o " + quote(dir.file("p.png")), dir,
              "ulimit -s 256; MESA_SHADER_CACHE_DISABLE=true ");
    size_t at = w.wait_for("started again after the crash; waiting for the next save");
    ASSERT_NE(at, std::string::npos) << w.messages();
    EXPECT_NE(w.messages().find("intro-render: the driver's compiler crashed\n"), std::string::npos);
    save(shader, cheap_variant("", ""));
    EXPECT_NE(w.wait_for("intro-render: 1 sample", at), std::string::npos) << w.messages();
    EXPECT_EQ(w.stop(SIGINT), 0) << w.messages();
}

TEST(RenderWatch, ASaveDuringARenderRestartsItAndSigtermEndsIt)
{
    // Pictures after 64 and 128 samples of the whole picture lie seconds
    // apart (wide enough for a loaded machine); a save between them must not
    // wait for the second.
    TempDir dir;
    const std::string shader = dir.file("s.glsl"), picture = dir.file("p.png");
    save(shader, cheap_variant("", ""));
    Watcher w("--shader " + quote(shader) + " -s 65536 -o " + quote(picture), dir);
    size_t at = w.wait_for("intro-render: 64 samples");
    ASSERT_NE(at, std::string::npos) << w.messages();
    at = w.messages().size();
    save(shader, cheap_variant("uv.x, uv.y", "1.0 - uv.x, uv.y"));
    size_t next = w.wait_for("intro-render: 1 sample,", at);
    ASSERT_NE(next, std::string::npos) << w.messages();
    std::string between = w.messages().substr(at, next - at);
    EXPECT_EQ(between.find("samples,"), std::string::npos) << "the old render went on:\n" << between;
    Picture restarted;
    ASSERT_TRUE(load_png(picture, restarted));
    EXPECT_EQ(restarted.rgb[0], 255) << "the first picture after the save is the new program's";

    EXPECT_EQ(w.stop(SIGTERM), 0) << w.messages();
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"p.png", "s.glsl", "watch.log"})) << "no temporary file";
}

TEST(RenderBenchmark, TimesTheShaderAndItsBaselineInTurns)
{
    TempDir dir;
    const std::string cheap = quote(std::string(INTRO_TEST_DATA) + "/cheap.glsl");
    RunResult r = run_render("--baseline " + cheap + " -o x.png", dir);
    EXPECT_EQ(r.status, 2) << "a baseline without --benchmark is refused";
    EXPECT_NE(r.errors.find("--baseline FILE goes with --benchmark"), std::string::npos) << r.errors;

    r = run_render("--benchmark -s 1 --crop 0,0,16,16 --shader " + cheap + " --baseline " + cheap, dir,
                   ">" + quote(dir.file("times.txt")));
    ASSERT_EQ(r.status, 0) << r.errors;
    std::string times = read_file(dir.file("times.txt"));
    std::string order;
    for (size_t at = 0; (at = times.find("benchmark ", at)) != std::string::npos; ++at)
        order += times.compare(at, 15, "benchmark ratio") == 0 ? 'r'
                 : times.find(" baseline ", at) < times.find('\n', at) ? 'B' : 'A';
    EXPECT_EQ(order, "ABABrABABr") << times;
}

// One render split into parts: scripts/split_render.sh runs them as GNU
// parallel jobs here and merges them (tests/system/split_ssh.sh runs them
// over ssh).
struct SplitRun {
    TempDir dir;
    std::string shader = dir.file("probe.glsl");
    // A crop on the left edge with the default margin, so the sums hold the
    // margin's wrap-around span too.
    std::string geometry = " --samples 10 --crop 0,500,64,64";
    SplitRun() { write_text(shader, probe_shader()); }
    // Runs in the temporary directory; its output in split.out and split.log.
    int split(const std::string &arguments)
    {
        std::string command = "cd " + quote(dir.path) + " && bash " + quote(INTRO_SPLIT_SCRIPT) + " --render " +
                              quote(INTRO_RENDER_PATH) + " " + arguments + " >split.out 2>split.log";
        int raw = std::system(command.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
};

TEST(RenderSplit, PartsRunByParallelMergeIntoTheSingleRender)
{
    SplitRun run;
    RunResult r = run_render("--shader " + quote(run.shader) + run.geometry + " -o " +
                                 quote(run.dir.file("single.png")), run.dir);
    ASSERT_EQ(r.status, 0) << r.errors;
    const std::string single = read_file(run.dir.file("single.png"));

    // PARTS is decimal whatever its leading zeros; "-o -" is standard output
    // (the jobs' own output goes to standard error); intro-render's
    // --shader=FILE spelling.
    ASSERT_EQ(run.split("--keep parts -j 3 010 --shader=" + quote(run.shader) + run.geometry + " -o -"), 0)
        << read_file(run.dir.file("split.log"));
    EXPECT_TRUE(read_file(run.dir.file("split.out")) == single) << "ten local jobs";
    EXPECT_TRUE(exists(run.dir.file("parts/part.9.sums")));
    EXPECT_FALSE(exists(run.dir.file("-")));
}

TEST(RenderSplit, ScriptTakesPartsOnlyWhereDocumented)
{
    SplitRun run;
    const std::string bad[] = {
        "-j 2 --crop 800,400,64,64 --margin 8 2 --samples 8 -o x.png", // PARTS after intro-render's options
        "-j 2 2 --crop 800,400,64,64 --margin 8 4 -o x.png",           // a stray number after PARTS
        "0 -o x.png", "-1 -o x.png", "0x3 -o x.png", "3.0 -o x.png", "99999 -o x.png",
        "3",                                                           // no picture named
        "3 -o x.png --part 1/3", "3 -o x.png --progress-pictures", "3 -o x.png --bogus",
    };
    for (const std::string &arguments : bad) {
        EXPECT_EQ(run.split(arguments), 2) << arguments;
        EXPECT_NE(read_file(run.dir.file("split.log")).find("split_render: "), std::string::npos) << arguments;
        EXPECT_FALSE(exists(run.dir.file("x.png"))) << arguments;
    }
    // 08 is eight parts, not an octal fault: intro-render's own refusal.
    EXPECT_NE(run.split("08 --samples 7 --crop 0,0,8,8 -o x.png"), 0);
    EXPECT_NE(read_file(run.dir.file("split.log")).find("8 parts of 7 samples"), std::string::npos)
        << read_file(run.dir.file("split.log"));

    EXPECT_EQ(run.split("--help"), 0);
    EXPECT_NE(read_file(run.dir.file("split.out")).find("PARTS -o PICTURE"), std::string::npos);
}

TEST(RenderSplit, MergeRefusesPartsThatDoNotAddUp)
{
    TempDir dir;
    auto f = [&](const std::string &name) { return quote(dir.file(name)); };
    const std::string cheap = "--shader " + quote(std::string(INTRO_TEST_DATA) + "/cheap.glsl");
    const std::string geometry = " --samples 5 --crop 100,200,30,20 --margin 4";
    for (const char *share : {"0/3", "1/3", "2/3"}) {
        std::string name = std::string("p") + share[0];
        RunResult r = run_render(cheap + geometry + " --part " + share + " --sums " + f(name), dir);
        ASSERT_EQ(r.status, 0) << r.errors;
    }
    RunResult r = run_render(cheap + geometry + " --crop 101,200,30,20 --part 2/3 --sums " + f("p2-crop"), dir);
    ASSERT_EQ(r.status, 0) << r.errors;
    r = run_render(cheap + geometry + " --samples 6 --part 2/3 --sums " + f("p2-samples"), dir);
    ASSERT_EQ(r.status, 0) << r.errors;
    write_text(dir.file("p2-cut"), read_file(dir.file("p2")).substr(0, 100));
    write_text(dir.file("p2-png"), "\x89PNG\r\n\x1a\n not sums");

    const std::string p01 = " --merge " + f("p0") + " " + f("p1") + " ";
    const std::pair<std::string, std::string> cases[] = {
        {cheap + p01, "missing part 2/3"},
        {cheap + p01 + f("p1") + " " + f("p2"), "part 1/3 given twice"},
        {p01 + f("p2"), "another shader"},
        {cheap + p01 + f("p2-crop"), "another crop"},
        {cheap + p01 + f("p2-samples"), "another sample count"},
        {cheap + p01 + f("p2-cut"), "truncated sums file"},
        {cheap + p01 + f("p2-png"), "not a sums file"},
        {cheap + " --samples 6" + p01 + f("p2"), "another sample count than --samples"},
    };
    for (const auto &c : cases) {
        r = run_render(c.first + " -o " + f("out.png"), dir);
        EXPECT_EQ(r.status, 1) << c.second;
        EXPECT_NE(r.errors.find(c.second), std::string::npos) << c.second << ": " << r.errors;
        EXPECT_FALSE(exists(dir.file("out.png"))) << c.second;
    }
    r = run_render(cheap + p01 + f("p2") + " -o " + f("out.png"), dir);
    EXPECT_EQ(r.status, 0) << r.errors;

    // A part that cannot finish leaves the file it would replace alone.
    write_text(dir.file("broken.glsl"), "#version 430\nvoid main() { nothing; }\n");
    const std::string before = read_file(dir.file("p0"));
    r = run_render("--shader " + f("broken.glsl") + geometry + " --part 0/3 --sums " + f("p0"), dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(read_file(dir.file("p0")) == before);

    for (const char *bad : {"--part 0/3", "--part 0/3 --sums x -o y.png", "--samples 2 --part 0/3 --sums x",
                            "--part 3/3 --sums x", "--merge"}) {
        r = run_render(bad, dir);
        EXPECT_EQ(r.status, 2) << bad << ": " << r.errors;
    }
}
