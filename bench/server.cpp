// qab-tftp-bench-server IMAGE NAME: serves IMAGE under the file name NAME
// from the upgrader's own TFTP listener and transfer code, on 127.0.0.1 at
// the first free port from 69, and prints "port N" once it listens. It runs
// without a front end (nothing is drawn) until it is killed; after a pass it
// would go on to the flash wait, so a benchmark starts one per transfer.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "app/session.h"
#include "tftp/listener.h"
#include "ui/ui.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: qab-tftp-bench-server IMAGE NAME\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  static std::vector<uint8_t> image;
  if (in) image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (image.size() < image_header_size) {
    std::fprintf(stderr, "qab-tftp-bench-server: cannot read a firmware image from %s\n", argv[1]);
    return 1;
  }

  ui::install();
  UpgradeSession& s = session();
  s.stage.store(UpgradeStage::Target);
  s.target_image.data = image.data();
  s.target_image.size = static_cast<uint32_t>(image.size());
  std::copy_n(image.begin(), image_header_size, reinterpret_cast<uint8_t*>(&s.target_image.header));
  std::snprintf(s.device_address_text, sizeof s.device_address_text, "127.0.0.1");
  s.tftp_file_name.set(argv[2]);

  uint16_t port = start_tftp_listener(0x7f000001, s);
  std::printf("port %u\n", port);
  std::fflush(stdout);
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}
