// Reading a shader file: the one routine behind hot reload and intro-render.
#pragma once
#include <cstdint>
#include <string>

// Larger files are refused: the driver takes minutes over tens of megabytes
// of code and then crashes without a word.
constexpr uint64_t kShaderFileLimit = 16u << 20;

// Reads a regular file into `text`, dropping a UTF-8 byte order mark. Never
// blocks: a FIFO or a device is refused without being read. On failure
// `text` is left alone and `error` says why.
bool read_shader_file(const char *path, std::string &text, std::string &error);
// 64-bit FNV-1a of a shader text: how sums files name their shader and how
// hot reload tells two saves with the same time apart.
uint64_t fnv1a64(const std::string &text);
