// The live preview's loop against a fake renderer: what it does between
// sample passes, with no timing involved.
#include "render/render_watch.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <string>

namespace {

struct FakeRenderer {
    std::string path;
    std::string events;
    int save_in_sample = -1; // the pass during which the file is saved, once
    int stop_in_write = -1;  // the picture during whose write SIGINT arrives
    time_t mtime = 0;
};

bool fake_load(void *c, std::string &)
{
    ((FakeRenderer *)c)->events += "load ";
    return true;
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

bool fake_write(void *c, int count, std::string &)
{
    FakeRenderer &f = *(FakeRenderer *)c;
    f.events += "w" + std::to_string(count) + " ";
    if (count == f.stop_in_write) std::raise(SIGINT);
    return true;
}

} // namespace

TEST(RenderWatch, ASaveDuringAPassRestartsBeforeTheNextPictureAndSigintEndsAfterTheWrite)
{
    char dir[] = "/tmp/intro-watch-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    FakeRenderer fake;
    fake.path = std::string(dir) + "/s.glsl";
    fake.mtime = time(nullptr) - 100;
    write_file(fake.path, "first", fake.mtime);
    fake.save_in_sample = 1;
    fake.stop_in_write = 4;

    WatchRenderer renderer;
    renderer.context = &fake;
    renderer.load = fake_load;
    renderer.clear = fake_clear;
    renderer.sample = fake_sample;
    renderer.write = fake_write;
    WatchSettings settings;
    settings.shader_path = fake.path;
    settings.output = std::string(dir) + "/p.png";
    settings.samples = 6;
    Output out = capture([&] { EXPECT_EQ(watch_run(renderer, settings), 0); });

    // No picture of the old program after the save; the picture being
    // written when SIGINT came is finished, and nothing follows it.
    EXPECT_EQ(fake.events, "load clear s0 w1 s1 load clear s0 w1 s1 w2 s2 s3 w4 ") << out.err;
    EXPECT_NE(out.err.find("saved, rebuilding"), std::string::npos) << out.err;
    EXPECT_NE(out.err.find("intro-render: 4 samples"), std::string::npos) << out.err;
    EXPECT_TRUE(watch_writes_after(6, 6) && !watch_writes_after(5, 6) && !watch_writes_after(3, 6));
    unlink(fake.path.c_str());
    rmdir(dir);
}
