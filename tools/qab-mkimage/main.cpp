// qab-mkimage: builds firmware images from recipes and checks images before
// they go into a package.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>

#include "firmware/image.h"
#include "firmware/image_check.h"
#include "tools/qab-mkimage/mkimage.h"

namespace {

void usage(FILE* out) {
  std::fputs(
      "usage: qab-mkimage build RECIPE OUTPUT   build an image from a recipe file\n"
      "       qab-mkimage check IMAGE...        check images for a package (exit 1 on a fault)\n"
      "       qab-mkimage info IMAGE            print an image's header\n"
      "A recipe has key=value lines: magic, version, total_length, seed.\n",
      out);
}

int build(const char* recipe_path, const char* output) {
  std::ifstream in(recipe_path);
  if (!in) throw std::runtime_error(std::string("cannot read recipe ") + recipe_path);
  std::stringstream text;
  text << in.rdbuf();
  auto image = build_image(parse_recipe(text.str()));
  std::ofstream out(output, std::ios::binary);
  out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  if (!out) throw std::runtime_error(std::string("cannot write ") + output);
  return 0;
}

int check(int count, char** paths) {
  int status = 0;
  for (int i = 0; i < count; ++i) {
    std::string problem = check_image_file(paths[i]);
    if (!problem.empty()) {
      std::fprintf(stderr, "qab-mkimage: %s\n", problem.c_str());
      status = 1;
    }
  }
  return status;
}

int info(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() < image_header_size) throw std::runtime_error(std::string(path) + ": shorter than a header");
  ImageHeader h;
  std::memcpy(&h, bytes.data(), sizeof h);
  std::printf("size %zu\nmagic %.16s\nversion %.*s\ntotal_length %u\n", bytes.size(), h.magic,
              static_cast<int>(h.version_text().size()), h.version_text().data(), read_be32(h.total_length));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 4 && std::strcmp(argv[1], "build") == 0) return build(argv[2], argv[3]);
    if (argc >= 3 && std::strcmp(argv[1], "check") == 0) return check(argc - 2, argv + 2);
    if (argc == 3 && std::strcmp(argv[1], "info") == 0) return info(argv[2]);
    usage(argc == 2 && std::strcmp(argv[1], "--help") == 0 ? stdout : stderr);
    return argc == 2 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qab-mkimage: %s\n", e.what());
    return 1;
  }
}
