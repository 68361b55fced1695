#include "world_dump.h"

namespace {

void writeFloat(std::FILE* out, const char* name, float value) {
  std::fprintf(out, "\"%s\":%.9g", name, double(value));
}

void writeVector(std::FILE* out, const char* name, Vector3Float v) {
  std::fprintf(out, "\"%s\":[%.9g,%.9g,%.9g]", name, double(v.x), double(v.y), double(v.z));
}

void writeButterfly(std::FILE* out, const VelButterfly& b, int32_t curr_bin) {
  std::fputc('{', out);
  writeFloat(out, "color_mix", b.color_mix);
  std::fputc(',', out);
  writeFloat(out, "fade", b.fade);
  std::fputc(',', out);
  writeFloat(out, "fade_rate", b.fade_rate);
  std::fputc(',', out);
  writeFloat(out, "flap_angle", b.flap_angle);
  std::fputc(',', out);
  writeFloat(out, "flap_rate", b.flap_rate);
  std::fputc(',', out);
  writeVector(out, "position", b.position);
  std::fputc(',', out);
  writeVector(out, "direction", b.direction);
  std::fputc(',', out);
  writeVector(out, "flock_direction", b.flock_direction);
  std::fputc(',', out);
  writeVector(out, "facing", b.facing);
  std::fputc(',', out);
  writeVector(out, "velocity", b.velocity);
  std::fputc(',', out);
  writeFloat(out, "max_speed", b.max_speed);
  std::fputc(',', out);
  writeFloat(out, "max_force", b.max_force);
  std::fprintf(out, ",\"active\":%d,\"curr_bin\":%d}", int(b.active), int(curr_bin));
}

}  // namespace

void dumpVelWorldJson(const VelWorld* w, std::FILE* out) {
  std::fprintf(out, "{\"color_type\":%d,", int(w->color_type));
  writeFloat(out, "speed", w->speed);
  std::fputc(',', out);
  writeFloat(out, "max_y", w->max_y);
  std::fputc(',', out);
  writeFloat(out, "min_y", w->min_y);
  std::fputc(',', out);
  writeFloat(out, "min_x", w->min_x);
  std::fputc(',', out);
  writeFloat(out, "max_x", w->max_x);
  std::fputc(',', out);
  writeFloat(out, "max_z", w->max_z);
  std::fputc(',', out);
  writeFloat(out, "min_z", w->min_z);
  std::fputc(',', out);
  writeFloat(out, "butterfly_size", w->butterfly_size);
  std::fprintf(out, ",\"screen_width\":%d,\"screen_height\":%d,", int(w->screen_width), int(w->screen_height));
  writeVector(out, "color_from", w->color_from);
  std::fputc(',', out);
  writeVector(out, "color_to", w->color_to);
  std::fprintf(out,
               ",\"color_scheme\":%d,\"next_color_scheme\":%d,\"color_cycle_elapsed\":%llu,"
               "\"color_fade_time\":%llu,\"color_cycle_time\":%llu,\"color_cycling\":%d,\"glow\":%d,",
               int(w->color_scheme), int(w->next_color_scheme),
               static_cast<unsigned long long>(w->color_cycle_elapsed),
               static_cast<unsigned long long>(w->color_fade_time),
               static_cast<unsigned long long>(w->color_cycle_time), int(w->color_cycling), int(w->glow));

  const VelButterflyCollection& c = w->butterfly_collection;
  const VelFlockBinCollection& bins = w->flock_bins;
  std::fputs("\"butterflies\":[", out);
  for (int32_t i = 0; c.butterflies && i < c.num_butterflies; ++i) {
    if (i) std::fputc(',', out);
    const int32_t curr_bin = (bins.elements && i < bins.max_elements) ? bins.elements[i].curr_bin : -1;
    writeButterfly(out, c.butterflies[i], curr_bin);
  }
  std::fputs("],\"bins\":{", out);
  bool first = true;
  for (int32_t b = 0; bins.bins && b < bins.max_bins; ++b) {
    if (!bins.bins[b]) continue;
    std::fprintf(out, "%s\"%d\":[", first ? "" : ",", int(b));
    first = false;
    int32_t steps = 0;
    for (const VelFlockBinLinkedListElement* e = bins.bins[b]; e && steps <= bins.max_elements;
         e = e->next, ++steps) {
      std::fprintf(out, "%s%d", steps ? "," : "", int(e->node));
    }
    std::fputc(']', out);
  }
  std::fputs("}}\n", out);
}
