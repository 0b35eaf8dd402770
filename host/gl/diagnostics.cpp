#include "gl/diagnostics.h"

#include "core/gl_procs.h"
#include "core/tga_file.h"

#include <cstdio>
#include <cstdlib>

// The picture in `read_buffer`, bottom row first; null when out of memory.
static uint8_t *read_pixels(int width, int height, GLenum read_buffer)
{
    uint8_t *pixels = (uint8_t *)malloc((size_t)width * (size_t)height * 3);
    if (!pixels) return nullptr;

    // The frame loop copies and accumulates from the read buffer, so it must
    // get back the one it had.
    GLint previous_buffer = GL_BACK, pack_alignment = 4;
    glGetIntegerv(GL_READ_BUFFER, &previous_buffer);
    glGetIntegerv(GL_PACK_ALIGNMENT, &pack_alignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(read_buffer);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels);
    glReadBuffer((GLenum)previous_buffer);
    glPixelStorei(GL_PACK_ALIGNMENT, pack_alignment);
    return pixels;
}

bool save_tga(const char *path, int width, int height, GLenum read_buffer, std::string *error)
{
    if (!tga_size_ok(width, height)) return write_tga(path, width, height, nullptr, error);
    uint8_t *pixels = read_pixels(width, height, read_buffer);
    if (!pixels) {
        if (error) *error = "out of memory";
        return false;
    }
    bool ok = write_tga(path, width, height, pixels, error);
    free(pixels);
    return ok;
}

// The back buffer to the next free grab name, which `name` gets.
static bool save_grab(int width, int height, std::string &name, std::string &error)
{
    uint8_t *pixels = tga_size_ok(width, height) ? read_pixels(width, height, GL_BACK) : nullptr;
    if (tga_size_ok(width, height) && !pixels) {
        name = next_grab_name("");
        error = "out of memory";
        return false;
    }
    bool ok = write_grab_tga("", width, height, pixels, name, error);
    free(pixels);
    return ok;
}

void print_framebuffer_info()
{
    auto get = gl_proc<PFNGLGETFRAMEBUFFERATTACHMENTPARAMETERIVPROC>(
        slot_glGetFramebufferAttachmentParameteriv);
    GLint enc_back = 0, enc_front = 0, red_back = 0, red_front = 0, type_back = 0, type_front = 0;
    get(GL_FRAMEBUFFER, GL_BACK, GL_FRAMEBUFFER_ATTACHMENT_COLOR_ENCODING, &enc_back);
    get(GL_FRAMEBUFFER, GL_FRONT, GL_FRAMEBUFFER_ATTACHMENT_COLOR_ENCODING, &enc_front);
    get(GL_FRAMEBUFFER, GL_BACK, GL_FRAMEBUFFER_ATTACHMENT_RED_SIZE, &red_back);
    get(GL_FRAMEBUFFER, GL_FRONT, GL_FRAMEBUFFER_ATTACHMENT_RED_SIZE, &red_front);
    get(GL_FRAMEBUFFER, GL_BACK, GL_FRAMEBUFFER_ATTACHMENT_COMPONENT_TYPE, &type_back);
    get(GL_FRAMEBUFFER, GL_FRONT, GL_FRAMEBUFFER_ATTACHMENT_COMPONENT_TYPE, &type_front);
    printf("Framebuffer Attachment Parameters:\n");
    printf("  COLOR_ENCODING: GL_BACK = 0x%X, GL_FRONT = 0x%X\n", (unsigned)enc_back, (unsigned)enc_front);
    printf("  RED_SIZE: GL_BACK = %d, GL_FRONT = %d\n", red_back, red_front);
    printf("  COMPONENT_TYPE: GL_BACK = 0x%X, GL_FRONT = 0x%X\n", (unsigned)type_back, (unsigned)type_front);

    GLint bits[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_ACCUM_RED_BITS, &bits[0]);
    glGetIntegerv(GL_ACCUM_GREEN_BITS, &bits[1]);
    glGetIntegerv(GL_ACCUM_BLUE_BITS, &bits[2]);
    glGetIntegerv(GL_ACCUM_ALPHA_BITS, &bits[3]);
    printf("Accumulated RGBA Bits:\n");
    printf("  RED_BITS = %d, GREEN_BITS = %d, BLUE_BITS = %d, ALPHA_BITS = %d\n", bits[0], bits[1],
           bits[2], bits[3]);
}

void grab_screen(bool &grab_pending) { grab_pending = true; }

bool grab_screen_before_swap(bool &grab_pending)
{
    if (!grab_pending) return false;
    grab_pending = false;
    // The window's size, normally the picture's.
    GLint viewport[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_VIEWPORT, viewport);
    std::string name, error;
    // The back buffer holds the finished picture that the swap will show.
    if (!save_grab(viewport[2], viewport[3], name, error)) {
        fprintf(stderr, "ERROR: grab_screen: could not write %s: %s\n",
                name.empty() ? "a numbered file" : name.c_str(), error.c_str());
        return false;
    }
    printf("grab_screen: %s\n", name.c_str());
    return true;
}
