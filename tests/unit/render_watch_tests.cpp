// The live preview's loop against a fake renderer: what it does between
// sample passes, with no timing involved.
#include "render/render_watch.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

struct FakeRenderer {
    std::string path;
    std::string events;
    int save_in_sample = -1; // the pass during which the file is saved, once
    int stop_in_write = -1;  // the picture during whose write `stop_signal` arrives
    int stop_signal = SIGINT;
    int broken_loads = 0;    // loads that fail, each followed by a save
    int fail_write = -1;     // the picture whose write fails, once
    time_t mtime = 0;
};

bool fake_load(void *c, std::string &error)
{
    FakeRenderer &f = *(FakeRenderer *)c;
    f.events += "load ";
    if (f.broken_loads == 0) return true;
    --f.broken_loads;
    write_file(f.path, "fixed", f.mtime += 10);
    error = "the shader does not build";
    return false;
}

void fake_clear(void *c)
{
    ((FakeRenderer *)c)->events += "clear ";
}

void fake_sample(void *c, int index)
{
    FakeRenderer &f = *(FakeRenderer *)c;
    f.events += "s" + std::to_string(index) + " ";
    if (index == f.save_in_sample) {
        f.save_in_sample = -1;
        write_file(f.path, "saved", f.mtime += 10);
    }
}

bool fake_write(void *c, int count, std::string &error)
{
    FakeRenderer &f = *(FakeRenderer *)c;
    f.events += "w" + std::to_string(count) + " ";
    if (count == f.stop_in_write) std::raise(f.stop_signal);
    if (count != f.fail_write) return true;
    f.fail_write = -1;
    error = "cannot write \"p.png\": No space left on device";
    return false;
}

// The watch loop over the fake; it must end with status 0.
Output run_watch(FakeRenderer &fake, const std::string &output, int samples, bool view = false)
{
    WatchRenderer renderer{&fake, fake_load, fake_clear, fake_sample, fake_write};
    return capture([&] { EXPECT_EQ(watch_run(renderer, WatchSettings{fake.path, output, samples, view}), 0); });
}

// A folder for the watched file, written 100 s in the past, and the
// pictures; removed with whatever is left in it.
struct WatchDir {
    std::string path;
    WatchDir()
    {
        char name[] = "/tmp/intro-watch-XXXXXX";
        path = mkdtemp(name) ? name : "";
    }
    ~WatchDir()
    {
        if (!path.empty()) std::system(("rm -rf '" + path + "'").c_str());
    }
    void shader(FakeRenderer &fake, const char *text)
    {
        ASSERT_FALSE(path.empty());
        fake.path = path + "/s.glsl";
        fake.mtime = time(nullptr) - 100;
        write_file(fake.path, text, fake.mtime);
    }
};

} // namespace

TEST(RenderWatch, ASaveDuringAPassRestartsBeforeTheNextPictureAndSigintEndsAfterTheWrite)
{
    WatchDir dir;
    FakeRenderer fake;
    ASSERT_NO_FATAL_FAILURE(dir.shader(fake, "first"));
    fake.save_in_sample = 1;
    fake.stop_in_write = 4;

    Output out = run_watch(fake, dir.path + "/p.png", 6);

    // No picture of the old program after the save; the picture being
    // written when SIGINT came is finished, and nothing follows it.
    EXPECT_EQ(fake.events, "load clear s0 w1 s1 load clear s0 w1 s1 w2 s2 s3 w4 ") << out.err;
    EXPECT_NE(out.err.find("saved, rebuilding"), std::string::npos) << out.err;
    EXPECT_NE(out.err.find("intro-render: 4 samples"), std::string::npos) << out.err;
    EXPECT_TRUE(watch_writes_after(6, 6) && !watch_writes_after(5, 6) && !watch_writes_after(3, 6));
}

TEST(RenderWatch, BrokenAtStartAndAFailedWriteAreToldAndTheLoopGoesOnUntilSighup)
{
    WatchDir dir;
    FakeRenderer fake;
    ASSERT_NO_FATAL_FAILURE(dir.shader(fake, "broken"));
    fake.broken_loads = 1;
    fake.fail_write = 1;
    fake.stop_in_write = 4;
    fake.stop_signal = SIGHUP;

    Output out = run_watch(fake, dir.path + "/p.png", 6);

    EXPECT_EQ(fake.events, "load load clear s0 w1 s1 w2 s2 s3 w4 ") << out.err;
    EXPECT_NE(out.err.find("the shader does not build\nintro-render: no picture yet; waiting for the next save\n"),
              std::string::npos) << out.err;
    EXPECT_NE(out.err.find("No space left on device\nintro-render: the picture on disk stays as it was until the "
                           "next one is written\n"), std::string::npos) << out.err;
    EXPECT_NE(out.err.find("intro-render: 2 samples"), std::string::npos) << out.err;
    EXPECT_NE(out.err.find("intro-render: stopped\n"), std::string::npos) << out.err;
}

TEST(RenderWatch, AViewSaysItWasDrawnNotHowManySamples)
{
    WatchDir dir;
    FakeRenderer fake;
    ASSERT_NO_FATAL_FAILURE(dir.shader(fake, "first"));
    fake.stop_in_write = 1;

    Output out = run_watch(fake, dir.path + "/v.png", 1, true);

    EXPECT_EQ(fake.events, "load clear s0 w1 ") << out.err;
    EXPECT_NE(out.err.find("intro-render: view drawn, "), std::string::npos) << out.err;
    EXPECT_EQ(out.err.find("sample"), std::string::npos) << out.err;
}
