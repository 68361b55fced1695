// moonwisp-sim: builds a world as the saver's first frame does, advances it
// by a list of frame times, and prints it (JSON) or a short summary.
#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "math/Random.h"
#include "world/VelButterflySystem.h"
#include "world/VelWorldSettings.h"
#include "world_dump.h"

namespace {

const char* const kSchemeNames[] = {"green", "blue", "yellow", "violet", "red"};

void printSummary(const VelWorld& world, long long steps, double simulated_us) {
  const VelButterflyCollection& c = world.butterfly_collection;
  int visible = 0;
  double speed_sum = 0.0;
  for (int32_t i = 0; i < c.num_butterflies; ++i) {
    const VelButterfly& b = c.butterflies[i];
    if (b.active && b.fade > 0.0f) ++visible;
    speed_sum += std::sqrt(double(Vector3FloatLength2(b.velocity)));
  }
  const double mean_speed = c.num_butterflies > 0 ? speed_sum / c.num_butterflies : 0.0;
  const int scheme = world.color_scheme;
  std::printf("butterflies:        %d\n", int(c.num_butterflies));
  std::printf("steps:              %lld\n", steps);
  std::printf("simulated seconds:  %.3f\n", simulated_us / 1e6);
  std::printf("colour scheme now:  %d (%s)%s\n", scheme, scheme >= 0 && scheme <= 4 ? kSchemeNames[scheme] : "other",
              world.color_cycling ? ", cycling" : "");
  std::printf("visible butterflies: %d\n", visible);
  std::printf("mean speed:         %.4f units/s\n", mean_speed * 1e6);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Runs the butterfly world headless and prints it."};
  app.name("moonwisp-sim");
  uint32_t seed = 1;
  int32_t quantity = 77, color = 6, glow = 1, width = 1280, height = 800;
  long long steps = 0;
  std::vector<long long> dts{16667};
  bool no_dump = false, summary = false;

  app.add_option("--seed", seed, "random seed")->check(CLI::Range(0u, 4294967295u));
  app.add_option("--quantity", quantity, "number of butterflies")->check(CLI::Range(0, 100000));
  app.add_option("--color", color, "colour choice 0..7")->check(CLI::Range(0, 7));
  app.add_option("--glow", glow, "glow 0 or 1")->check(CLI::Range(0, 1));
  app.add_option("--width", width, "view width in pixels")->check(CLI::Range(1, 65535));
  app.add_option("--height", height, "view height in pixels")->check(CLI::Range(1, 65535));
  app.add_option("--steps", steps, "number of update steps")->check(CLI::Range(0LL, 1000000000LL));
  app.add_option("--dt", dts, "frame times in microseconds, comma separated")
      ->delimiter(',')
      ->check(CLI::Range(1LL, 1000000000LL));
  app.add_flag("--no-dump", no_dump, "print nothing about the world");
  app.add_flag("--summary", summary, "print a short summary instead of the JSON dump");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), stdout);
    return 0;
  } catch (const CLI::ParseError& e) {
    std::string message = e.what();
    for (char& ch : message) {
      if (ch == '\n') ch = ' ';
    }
    std::fprintf(stderr, "moonwisp-sim: %s\n", message.c_str());
    return 2;
  }
  if (dts.empty()) {
    std::fprintf(stderr, "moonwisp-sim: --dt: needs at least one frame time\n");
    return 2;
  }

  seedRandom(seed);
  VelWorld world{};
  const int32_t result = initializeVelWorldFromSettings(
      &world, defaultVelWorldSettings(quantity, int8_t(color), int8_t(glow), width, height));
  if (result != 0) {
    std::fprintf(stderr, "moonwisp-sim: the world could not be built (out of memory)\n");
    freeVelWorld(&world);
    return 1;
  }
  double simulated_us = 0.0;
  for (long long k = 0; k < steps; ++k) {
    const long long dt = dts[std::size_t(k % (long long)dts.size())];
    updateVelWorld(&world, uint64_t(dt));
    simulated_us += double(dt);
  }
  if (summary) {
    printSummary(world, steps, simulated_us);
  } else if (!no_dump) {
    dumpVelWorldJson(&world, stdout);
  }
  freeVelWorld(&world);
  return 0;
}
