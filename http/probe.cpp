#include "http/probe.h"

#include <mutex>

#include "platform/clock.h"
#include "platform/dialog/dialog.h"
#include "platform/host.h"
#include "platform/thread.h"
#include "ui/screens.h"
#include "ui/ui.h"

namespace {

constexpr int progress_bar = 1010;

// Probes share the session's response buffer, DeviceInfo and DigestState.
std::mutex probe_turn;

// The connecting screen's bar: one step every ten passes, 0..100 and round
// again, carried over from one connecting screen to the next within a call.
struct Progress {
  int position = 0;
  int passes = 0;
};

// One pass of the wait: at most one message for the screen, a 1 ms pause,
// and the bar moved every tenth pass.
void pass(dialog::Window* screen, Progress& p) {
  dialog::pump_one();
  platform::sleep_ms(1);
  if (++p.passes == 10) {
    screen->set_progress_pos(progress_bar, p.position);
    p.position = p.position == 100 ? 0 : p.position + 1;
    p.passes = 0;
  }
}

// Shows a connecting screen while one fetch runs on a worker; its result, or
// 0 when no worker could be started (then there is no answer to wait for).
int32_t fetch_behind_screen(const ProbeRequest& request, const char* device_address_text, Progress& progress,
                            std::unique_lock<std::mutex>& turn) {
  dialog::Window* screen = ui::create_connecting_screen(device_address_text);
  dialog::show(screen);
  while (!turn.owns_lock() && !turn.try_lock()) pass(screen, progress);

  int32_t result = 0;
  platform::Worker worker;
  if (worker.start([&request] { return probe_worker(request); })) {
    while (!worker.finished()) pass(screen, progress);
    worker.join();
    result = worker.exit_code();
  }
  dialog::destroy(screen);
  return result;
}

}  // namespace

int32_t probe_device(const ProbeRequest& request, const char* device_address_text) {
  Progress progress;
  int repeats = 0;
  std::unique_lock<std::mutex> turn(probe_turn, std::defer_lock);
  for (;;) {
    int32_t result = fetch_behind_screen(request, device_address_text, progress, turn);
    if (result >= 0) return result;

    // The device demanded authentication. A demand that only brings a new
    // nonce (the count was reset) is answered once without asking the user.
    DigestState& digest = *request.digest;
    if (digest.password[0] != '\0' && digest.nonce_count == 0 && repeats == 0) {
      repeats = 1;
      continue;
    }
    if (ui::run_password_screen(digest) == 0) {
      ui::show_failure("Upgrade Failed: User Abort");
      platform::end_process();
    }
    repeats = 0;
  }
}
