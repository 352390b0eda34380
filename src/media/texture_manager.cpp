#include "media/texture_manager.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include <fmt/printf.h>

#include "media/dds_texture_reader.h"
#include "graphics/render_target_types.h"
#include "variables/engine_context.h"
#include "files/filesystem.h"
#include "media/image_decoder.h"
#include "platform/dxgi/hresult.h"
#include "libs/enki/task_scheduler.h"
#include "libs/noise/fast_noise_simd.h"
#include "support/log.h"
#include "support/random.h"
#include "support/systems.h"

namespace {

constexpr int procedural_size = 1024;
constexpr uint32_t all_mips = 0xFFFFFFFFu;

// Left column transparent black, right column opaque white.
constexpr uint8_t default_texels[2 * 2 * 4] = {0, 0, 0, 0, 255, 255, 255, 255, 0, 0, 0, 0, 255, 255, 255, 255};

// Rows of the noise texture, filled on the scheduler's threads.
class noise_rows_task_t final : public enki::ITaskSet {
 public:
  noise_rows_task_t(const FastNoiseSIMD& noise, float* set, int size)
      : ITaskSet(uint32_t(size), 16), noise_(noise), set_(set), size_(size) {}
  void ExecuteRange(enki::TaskSetPartition range, uint32_t) override {
    noise_.FillNoiseSet(set_ + size_t(range.start) * size_t(size_), int(range.start), 0, 0, int(range.end - range.start),
                        size_, 1, 1.0f);
  }

 private:
  const FastNoiseSIMD& noise_;
  float* set_;
  int size_;
};

// The random textures' values as the one generator draws them in turn: at each index a Gaussian
// (a pair of draws for every second one, whose partner is the next index's value) and a uniform
// value. Pairs of indices take four draws, so each partition of pairs starts from the generator moved
// on past the pairs before it. The generator's rare redraw (a first draw of zero) takes two more, and
// the pairs from the first partition that met one are drawn again in order after the others.
class random_pairs_task_t final : public enki::ITaskSet {
 public:
  random_pairs_task_t(float* gaussian, float* uniform, size_t pairs, const pcg32_t& start)
      : ITaskSet(uint32_t(pairs), 4096), gaussian_(gaussian), uniform_(uniform), start_(start) {}
  void ExecuteRange(enki::TaskSetPartition range, uint32_t) override {
    pcg32_t generator = start_;
    generator.advance(4 * uint64_t(range.start));
    draw(generator, range.start, range.end);
    pcg32_t expected = start_;
    expected.advance(4 * uint64_t(range.end));
    if (generator.state == expected.state) return;
    uint32_t first = first_redrawn_.load();
    while (range.start < first && !first_redrawn_.compare_exchange_weak(first, range.start)) {
    }
  }
  // Redraws what followed a redraw; returns the generator after the last pair.
  pcg32_t finish() {
    pcg32_t generator = start_;
    const uint32_t first = first_redrawn_.load();
    if (first == no_redraw) {
      generator.advance(4 * uint64_t(m_SetSize));
      return generator;
    }
    generator.advance(4 * uint64_t(first));
    draw(generator, first, m_SetSize);
    return generator;
  }

 private:
  static constexpr uint32_t no_redraw = 0xFFFFFFFFu;
  void draw(pcg32_t& generator, uint32_t first_pair, uint32_t end_pair) {
    gaussian_spare_t spare;
    for (size_t i = size_t(first_pair) * 2; i < size_t(end_pair) * 2; ++i) {
      gaussian_[i] = static_cast<float>(random_gaussian(generator, spare, 0.0, 1.0));
      uniform_[i] = static_cast<float>(generator.next()) * 0x1p-32f;
    }
  }

  float* gaussian_;
  float* uniform_;
  pcg32_t start_;
  std::atomic<uint32_t> first_redrawn_{no_redraw};
};

bool has_dds_extension(const std::string& path) {
  if (path.size() < 4) return false;
  std::string tail = path.substr(path.size() - 4);
  std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::tolower(c); });
  return tail == ".dds";
}

UINT row_pitch_of(int width, DXGI_FORMAT format) { return UINT(width) * UINT(dxgi_format_bits(format) / 8); }

D3D11_SHADER_RESOURCE_VIEW_DESC texture_2d_view_desc(DXGI_FORMAT format) {
  D3D11_SHADER_RESOURCE_VIEW_DESC desc{};
  desc.Format = format;
  desc.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
  desc.Texture2D = {0, all_mips};
  return desc;
}

D3D11_TEXTURE2D_DESC immutable_2d_desc(int width, int height, DXGI_FORMAT format, D3D11_USAGE usage) {
  D3D11_TEXTURE2D_DESC desc{};
  desc.Width = UINT(width), desc.Height = UINT(height), desc.MipLevels = 1, desc.ArraySize = 1;
  desc.Format = format, desc.SampleDesc = {1, 0}, desc.Usage = usage;
  desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
  return desc;
}

// The Direct3D objects of one loaded image; they replace a texture's objects only as a whole.
struct image_objects_t {
  com_ptr_t<ID3D11Texture2D> texture_2d;
  com_ptr_t<ID3D11Texture3D> texture_3d;
  com_ptr_t<ID3D11Resource> resource;
  com_ptr_t<ID3D11ShaderResourceView> srv;
  D3D11_TEXTURE2D_DESC desc{};
  D3D11_TEXTURE3D_DESC desc_3d{};
  D3D11_SHADER_RESOURCE_VIEW_DESC srv_desc{};
};

// Describes a DDS file's resource in the texture's description members.
void describe_resource(image_objects_t& objects) {
  D3D11_RESOURCE_DIMENSION dimension = D3D11_RESOURCE_DIMENSION_UNKNOWN;
  objects.resource->GetType(&dimension);
  if (dimension == D3D11_RESOURCE_DIMENSION_TEXTURE2D) {
    objects.resource->QueryInterface(__uuidof(ID3D11Texture2D), reinterpret_cast<void**>(&objects.texture_2d));
    if (objects.texture_2d) objects.texture_2d->GetDesc(&objects.desc);
  } else if (dimension == D3D11_RESOURCE_DIMENSION_TEXTURE3D) {
    objects.resource->QueryInterface(__uuidof(ID3D11Texture3D), reinterpret_cast<void**>(&objects.texture_3d));
    if (objects.texture_3d) objects.texture_3d->GetDesc(&objects.desc_3d);
  } else if (dimension == D3D11_RESOURCE_DIMENSION_TEXTURE1D) {
    com_ptr_t<ID3D11Texture1D> texture_1d;
    objects.resource->QueryInterface(__uuidof(ID3D11Texture1D), reinterpret_cast<void**>(&texture_1d));
    if (texture_1d) {
      D3D11_TEXTURE1D_DESC desc{};
      texture_1d->GetDesc(&desc);
      objects.desc.Width = desc.Width, objects.desc.Height = 1, objects.desc.MipLevels = desc.MipLevels;
      objects.desc.ArraySize = desc.ArraySize, objects.desc.Format = desc.Format;
      objects.desc.SampleDesc = {1, 0}, objects.desc.Usage = desc.Usage, objects.desc.BindFlags = desc.BindFlags;
      objects.desc.CPUAccessFlags = desc.CPUAccessFlags, objects.desc.MiscFlags = desc.MiscFlags;
    }
  }
  objects.srv->GetDesc(&objects.srv_desc);
}

class texture_manager_impl_t final : public texture_manager_t {
 public:
  texture_manager_impl_t(ID3D11Device* device, filesystem_t* filesystem) : device_(device), filesystem(filesystem) {}

  ~texture_manager_impl_t() override {
    if (engine_context->texture_manager == this) engine_context->texture_manager = nullptr;
    by_name.clear();
    by_path.clear();
    textures.clear();
    default_tex.reset();
  }

  tl::expected<void, std::string> init();

  void reload_changed_files() override;
  texture_t* default_texture() override { return default_tex.get(); }
  tl::expected<texture_t*, std::string> load_texture(const std::string& path) override;
  tl::expected<texture_t*, std::string> create_texture_from_pixels(const uint8_t* pixels, int width, int height,
                                                                 int channels) override;
  texture_t* find_texture(const std::string& name) override;
  std::vector<std::string> list_texture_names() override;
  std::unique_ptr<texture_t> create_texture_2d(int width, int height, DXGI_FORMAT format,
                                               const void* data) override;
  HRESULT update_texture(texture_t& texture, const void* data) override;
  std::unique_ptr<texture_t> create_texture_3d(int width, int height, int depth, DXGI_FORMAT format,
                                               const void* data) override;

 private:
  tl::expected<void, std::string> load_image(const std::string& path, texture_t& texture);
  tl::expected<void, std::string> load_dds(const byte_vector_t& bytes, image_objects_t& objects);
  tl::expected<void, std::string> load_decoded(const byte_vector_t& bytes, const std::string& path,
                                               image_objects_t& objects);
  bool register_procedural(std::unique_ptr<texture_t> texture, std::initializer_list<const char*> names);

  // Only its address is used: the owner key of the manager's file watches.
  char watch_key = 0;
  ID3D11Device* device_ = nullptr;
  texture_ptr_t default_tex;
  filesystem_t* filesystem = nullptr;
  std::vector<texture_ptr_t> textures;
  std::unordered_map<std::string, texture_ptr_t> by_path;
  std::unordered_map<std::string, texture_ptr_t> by_name;
  // Loaded paths whose file watch the next reload registers.
  std::vector<std::string> unwatched;
  // Files whose load failed, so that a caller asking every frame is warned once.
  std::unordered_set<std::string> failed_paths;
  // Shader compile tasks load textures on worker threads while the main thread draws.
  std::mutex mutex_;
};

tl::expected<void, std::string> texture_manager_impl_t::init() {
  default_tex = create_texture_2d(2, 2, DXGI_FORMAT_R8G8B8A8_UNORM, default_texels);
  if (!default_tex) return tl::unexpected(std::string("Error creating default texture"));

  const size_t count = size_t(procedural_size) * procedural_size * 4;
  std::vector<float> gaussian(count), uniform(count);
  // The noise texture's rows are filled on the workers while this thread draws the random ones.
  std::unique_ptr<FastNoiseSIMD> noise(FastNoiseSIMD::NewFastNoiseSIMD());
  // Indexed x × 1024 + y: texture row r, column c holds the noise at x = r, y = c.
  std::vector<float> noise_set(size_t(procedural_size) * procedural_size);
  noise_rows_task_t noise_rows(*noise, noise_set.data(), procedural_size);
  enki::TaskScheduler* scheduler = g_systems ? g_systems->scheduler : nullptr;
  if (scheduler) scheduler->AddTaskSetToPipe(&noise_rows);

  // Both draws advance the one generator, so the interleaving fixes every value: the same values
  // as drawing them one by one here, and the generator and this thread's spare end as they would.
  pcg32_t& generator = global_pcg32();
  gaussian_spare_t& spare = thread_gaussian_spare();
  size_t first = 0;
  if (spare.has) {
    gaussian[0] = static_cast<float>(random_gaussian(0.0, 1.0));
    uniform[0] = static_cast<float>(generator.next()) * 0x1p-32f;
    first = 1;
  }
  const size_t pairs = (count - first) / 2;
  random_pairs_task_t random_pairs(gaussian.data() + first, uniform.data() + first, pairs, generator);
  if (scheduler) {
    scheduler->AddTaskSetToPipe(&random_pairs);
    scheduler->WaitforTask(&random_pairs);
  } else {
    random_pairs.ExecuteRange({0, uint32_t(pairs)}, 0);
  }
  generator = random_pairs.finish();
  for (size_t i = first + 2 * pairs; i < count; ++i) {
    gaussian[i] = static_cast<float>(random_gaussian(0.0, 1.0));
    uniform[i] = static_cast<float>(generator.next()) * 0x1p-32f;
  }
  if (scheduler)
    scheduler->WaitforTask(&noise_rows);
  else
    noise_rows.ExecuteRange({0, uint32_t(procedural_size)}, 0);

  if (!register_procedural(
          create_texture_2d(procedural_size, procedural_size, DXGI_FORMAT_R32G32B32A32_FLOAT, gaussian.data()),
          {"random-gauss"}))
    return tl::unexpected(std::string("Error creating gaussian texture"));
  if (!register_procedural(
          create_texture_2d(procedural_size, procedural_size, DXGI_FORMAT_R32G32B32A32_FLOAT, uniform.data()),
          {"random", "random-uniform"}))
    return tl::unexpected(std::string("Error creating uniform texture"));
  if (!register_procedural(create_texture_2d(procedural_size, procedural_size, DXGI_FORMAT_R32_FLOAT, noise_set.data()),
                           {"perlin-noise"}))
    return tl::unexpected(std::string("Error creating perlin texture"));
  return {};
}

bool texture_manager_impl_t::register_procedural(std::unique_ptr<texture_t> texture,
                                                 std::initializer_list<const char*> names) {
  if (!texture) return false;
  texture_ptr_t shared(std::move(texture));
  std::lock_guard lock(mutex_);
  for (const char* name : names) by_name[name] = shared;
  return true;
}

void texture_manager_impl_t::reload_changed_files() {
  if (!filesystem) return;
  std::lock_guard lock(mutex_);
  // The file watcher belongs to the main thread, so watches of textures that worker threads
  // loaded are registered here.
  for (const std::string& path : unwatched) filesystem->watch_file(&watch_key, path);
  unwatched.clear();
  std::vector<std::string> changed;
  filesystem->get_changed_files(&watch_key, changed);
  for (const std::string& path : changed) {
    auto found = by_path.find(path);
    if (found == by_path.end()) {
      LOG_INF("Unable to find texture for file: %s", path.c_str());
      continue;
    }
    if (load_image(path, *found->second))
      LOG_INF("Reloaded texture: %s", path.c_str());
    else
      LOG_INF("Error loading texture for file: %s", path.c_str());
  }
}

tl::expected<texture_t*, std::string> texture_manager_impl_t::load_texture(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (auto found = by_path.find(path); found != by_path.end()) return found->second.get();
  auto texture = std::make_shared<texture_t>();
  texture->name = path;
  if (auto loaded = load_image(path, *texture); !loaded) {
    if (failed_paths.insert(path).second) LOG_WRN("Unable to load texture %s: %s", path.c_str(), loaded.error().c_str());
    return tl::unexpected(loaded.error());
  }
  failed_paths.erase(path);
  unwatched.push_back(path);
  textures.push_back(texture);
  by_path[path] = texture;
  return texture.get();
}

tl::expected<void, std::string> texture_manager_impl_t::load_image(const std::string& path, texture_t& texture) {
  byte_vector_t bytes;
  if (!filesystem || !filesystem->read_file(path, bytes))
    return tl::unexpected(fmt::sprintf("Unable to load image: %s", path));
  image_objects_t objects;
  auto loaded = has_dds_extension(path) ? load_dds(bytes, objects) : load_decoded(bytes, path, objects);
  if (!loaded) return loaded;
  // Replaced as a whole and only on success, so a failed reload keeps the previous image.
  texture.texture_2d = std::move(objects.texture_2d);
  texture.texture_3d = std::move(objects.texture_3d);
  texture.resource = std::move(objects.resource);
  texture.srv = std::move(objects.srv);
  texture.desc = objects.desc;
  texture.desc_3d = objects.desc_3d;
  texture.srv_desc = objects.srv_desc;
  return {};
}

tl::expected<void, std::string> texture_manager_impl_t::load_dds(const byte_vector_t& bytes,
                                                                 image_objects_t& objects) {
  const HRESULT hr = load_dds_texture(device_, bytes.data(), bytes.size(), &objects.resource, &objects.srv);
  if (FAILED(hr)) return tl::unexpected(fmt::sprintf("Error creating dds texture: %s", hresult_message(hr)));
  describe_resource(objects);
  return {};
}

tl::expected<void, std::string> texture_manager_impl_t::load_decoded(const byte_vector_t& bytes,
                                                                     const std::string& path,
                                                                     image_objects_t& objects) {
  auto image = decode_image_rgba8(bytes.data(), bytes.size());
  if (!image) return tl::unexpected(fmt::sprintf("Unable to load image: %s", path));
  objects.desc = immutable_2d_desc(image->width, image->height, DXGI_FORMAT_R8G8B8A8_UNORM, D3D11_USAGE_DEFAULT);
  const D3D11_SUBRESOURCE_DATA data{image->pixels.get(), UINT(image->width) * 4,
                                    UINT(image->width) * UINT(image->height) * 4};
  HRESULT hr = device_->CreateTexture2D(&objects.desc, &data, &objects.texture_2d);
  if (FAILED(hr)) return tl::unexpected(fmt::sprintf("Error creating texture: %s", hresult_message(hr)));
  objects.srv_desc = texture_2d_view_desc(DXGI_FORMAT_R8G8B8A8_UNORM);
  hr = device_->CreateShaderResourceView(objects.texture_2d, &objects.srv_desc, &objects.srv);
  if (FAILED(hr)) return tl::unexpected(fmt::sprintf("Error creating srv: %s", hresult_message(hr)));
  objects.resource = objects.texture_2d.get();
  return {};
}

tl::expected<texture_t*, std::string> texture_manager_impl_t::create_texture_from_pixels(const uint8_t* pixels,
                                                                                       int width, int height,
                                                                                       int channels) {
  DXGI_FORMAT format = DXGI_FORMAT_UNKNOWN;
  switch (channels) {
    case 1: format = DXGI_FORMAT_R8_UNORM; break;
    case 2: format = DXGI_FORMAT_R8G8_UNORM; break;
    case 4: format = DXGI_FORMAT_R8G8B8A8_UNORM; break;
    default: return tl::unexpected(fmt::sprintf("Unsupported number of channels (%d) when loading texture", channels));
  }
  auto texture = std::make_shared<texture_t>();
  texture->name = "memory";
  texture->desc = immutable_2d_desc(width, height, format, D3D11_USAGE_DEFAULT);
  const D3D11_SUBRESOURCE_DATA data{pixels, UINT(width) * UINT(channels), UINT(width) * UINT(height) * UINT(channels)};
  HRESULT hr = device_->CreateTexture2D(&texture->desc, &data, &texture->texture_2d);
  if (FAILED(hr)) return tl::unexpected(fmt::sprintf("Error creating texture: %s", hresult_message(hr)));
  texture->srv_desc = texture_2d_view_desc(format);
  hr = device_->CreateShaderResourceView(texture->texture_2d, &texture->srv_desc, &texture->srv);
  if (FAILED(hr)) return tl::unexpected(fmt::sprintf("Error creating srv: %s", hresult_message(hr)));
  std::lock_guard lock(mutex_);
  textures.push_back(texture);
  return texture.get();
}

texture_t* texture_manager_impl_t::find_texture(const std::string& name) {
  std::lock_guard lock(mutex_);
  auto found = by_name.find(name);
  return found == by_name.end() ? nullptr : found->second.get();
}

std::vector<std::string> texture_manager_impl_t::list_texture_names() {
  std::lock_guard lock(mutex_);
  std::vector<std::string> names{"fft"};
  for (const auto& [name, texture] : by_name) names.push_back(name);
  return names;
}

std::unique_ptr<texture_t> texture_manager_impl_t::create_texture_2d(int width, int height, DXGI_FORMAT format,
                                                                     const void* data) {
  auto texture = std::make_unique<texture_t>();
  texture->desc = immutable_2d_desc(width, height, format, data ? D3D11_USAGE_IMMUTABLE : D3D11_USAGE_DYNAMIC);
  if (!data) texture->desc.CPUAccessFlags = D3D11_CPU_ACCESS_WRITE;
  const D3D11_SUBRESOURCE_DATA initial{data, row_pitch_of(width, format), 0};
  HRESULT hr = device_->CreateTexture2D(&texture->desc, data ? &initial : nullptr, &texture->texture_2d);
  if (FAILED(hr)) {
    LOG_INF("Error creating texture: %s", hresult_message(hr).c_str());
    return nullptr;
  }
  texture->srv_desc = texture_2d_view_desc(format);
  hr = device_->CreateShaderResourceView(texture->texture_2d, &texture->srv_desc, &texture->srv);
  if (FAILED(hr)) {
    LOG_INF("Error creating texture: %s", hresult_message(hr).c_str());
    return nullptr;
  }
  return texture;
}

HRESULT texture_manager_impl_t::update_texture(texture_t& texture, const void* data) {
  if (!texture.texture_2d || !data) return E_INVALIDARG;
  com_ptr_t<ID3D11DeviceContext> context;
  device_->GetImmediateContext(&context);
  D3D11_MAPPED_SUBRESOURCE mapped{};
  const HRESULT hr = context->Map(texture.texture_2d, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped);
  if (FAILED(hr)) return hr;
  const size_t row_bytes = size_t(dxgi_format_bits(texture.desc.Format)) * texture.desc.Width / 8;
  const auto* source = static_cast<const uint8_t*>(data);
  auto* destination = static_cast<uint8_t*>(mapped.pData);
  if (row_bytes == mapped.RowPitch) {
    std::memcpy(destination, source, row_bytes * texture.desc.Height);
  } else {
    for (UINT row = 0; row < texture.desc.Height; ++row)
      std::memcpy(destination + size_t(row) * mapped.RowPitch, source + row * row_bytes, row_bytes);
  }
  context->Unmap(texture.texture_2d, 0);
  return hr;
}

std::unique_ptr<texture_t> texture_manager_impl_t::create_texture_3d(int width, int height, int depth,
                                                                     DXGI_FORMAT format, const void* data) {
  auto texture = std::make_unique<texture_t>();
  D3D11_TEXTURE3D_DESC& desc = texture->desc_3d;
  desc.Width = UINT(width), desc.Height = UINT(height), desc.Depth = UINT(depth), desc.MipLevels = 1;
  desc.Format = format, desc.Usage = D3D11_USAGE_IMMUTABLE, desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
  const UINT row_pitch = row_pitch_of(width, format);
  const D3D11_SUBRESOURCE_DATA initial{data, row_pitch, row_pitch * UINT(height)};
  if (FAILED(device_->CreateTexture3D(&desc, data ? &initial : nullptr, &texture->texture_3d))) return nullptr;
  D3D11_SHADER_RESOURCE_VIEW_DESC& view = texture->srv_desc;
  view.Format = format;
  view.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE3D;
  view.Texture3D = {0, all_mips};
  if (FAILED(device_->CreateShaderResourceView(texture->texture_3d, &view, &texture->srv))) return nullptr;
  return texture;
}

}  // namespace

tl::expected<texture_manager_t*, std::string> create_texture_manager(ID3D11Device* device,
                                                                     filesystem_t* filesystem) {
  if (!device) return tl::unexpected(std::string("Error creating default texture"));
  auto* manager = new texture_manager_impl_t(device, filesystem);
  if (auto initialised = manager->init(); !initialised) {
    delete manager;
    return tl::unexpected(initialised.error());
  }
  engine_context->texture_manager = manager;
  return manager;
}
