#pragma once
// The sound system: the production's music, and the engine's clock while music is loaded.

#include <string>
#include <vector>

#include <tl/expected.hpp>

namespace serial {
class value_t;
}

class soundsystem_t {
 public:
  virtual void shutdown() = 0;
  virtual void unload() = 0;
  virtual void save(serial::value_t& parent) = 0;
  virtual bool load(const serial::value_t& root) = 0;
  virtual void play() = 0;
  virtual void pause() = 0;
  virtual bool has_music() = 0;
  virtual float get_volume() = 0;
  virtual void set_volume(float volume) = 0;
  virtual float get_length() = 0;
  virtual float get_position() = 0;
  virtual void set_position(float seconds) = 0;
  virtual bool load_music(const std::string& path) = 0;
  virtual void free_music() = 0;
  virtual std::string get_soundtrack() = 0;
  virtual double get_position_precise() = 0;
  virtual std::vector<float> get_beats(int list) = 0;
  virtual void set_beats(int list, const std::vector<float>& beats) = 0;

 protected:
  ~soundsystem_t() = default;
};

// Initialises the audio output and registers the new sound system in the engine context. Only a
// failed creation deletes the object; shutdown releases the audio output and may run repeatedly.
tl::expected<soundsystem_t*, std::string> create_soundsystem();
// Deletes a sound system after its shutdown. The player never does (the object lives as long as
// the process); whatever else creates one, a test, deletes it with this.
void destroy_soundsystem(soundsystem_t* soundsystem);
