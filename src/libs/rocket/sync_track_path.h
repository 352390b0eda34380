#pragma once
// The file a track is read from: the base, "_", the name with every byte other than letters,
// digits, '.', '/' and '_' written as '-' and two upper-case hex digits, then ".track".

#include <string>

constexpr size_t max_encoded_track_name = 259;

std::string encode_track_name(const std::string& name);
std::string sync_track_path(const std::string& base, const std::string& name);
