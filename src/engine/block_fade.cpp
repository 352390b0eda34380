// Block and camera-span fade weights at the engine's current time.
#include "engine/block_base.h"
#include "engine/engine.h"

namespace {

enum fade_mode_t : int32_t { FADE_LINEAR = 1, FADE_SMOOTHSTEP = 2 };

float clamp01(float f) { return f < 0.0f ? 0.0f : (f > 1.0f ? 1.0f : f); }

// Rising weight for f in [0, 1]; any other mode does not fade.
float fade_in_weight(int32_t mode, float f) {
  if (mode == FADE_LINEAR) return clamp01(f);
  if (mode == FADE_SMOOTHSTEP) {
    f = clamp01(f);
    return (3.0f - 2.0f * f) * f * f;
  }
  return 1.0f;
}

float fade_out_weight(int32_t mode, float f) {
  if (mode != FADE_LINEAR && mode != FADE_SMOOTHSTEP) return 1.0f;
  return 1.0f - fade_in_weight(mode, f);
}

}  // namespace

std::optional<float> block_base_t::get_block_fade() const {
  engine_t* engine = current_engine();
  if (!engine) return std::nullopt;
  const project_settings_t& settings = engine->get_settings();
  float t = engine->get_cur_time();
  float d = settings.block_fade_in;
  float local = t - start_time;
  if (local < d) return fade_in_weight(settings.fade_mode, local / d);
  if (end_time - t < d) return fade_out_weight(settings.fade_mode, (t - (end_time - d)) / d);
  return std::nullopt;
}

std::optional<float> block_base_t::get_camera_fade() const {
  engine_t* engine = current_engine();
  if (!engine) return std::nullopt;
  const project_settings_t& settings = engine->get_settings();
  float t = engine->get_cur_time();
  float c = settings.camera_fade_in;
  float d = settings.block_fade_in;
  float local = t - start_time;
  float prev = 0.0f;
  for (size_t k = 0; k < camera_spans.size(); ++k) {
    float end = camera_spans[k].end;
    if (!(prev <= local && local < end)) {
      prev = end;
      continue;
    }
    bool last = k + 1 == camera_spans.size();
    if ((k > 0 || d == 0.0f) && local - prev < c)
      return fade_in_weight(settings.fade_mode, (local - prev) / c);
    if (!(last && d != 0.0f) && end - local < c)
      return fade_out_weight(settings.fade_mode, (local - (end - c)) / c);
    return std::nullopt;
  }
  return std::nullopt;
}
