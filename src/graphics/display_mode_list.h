#pragma once
// The display modes the settings dialog offers: read from the first output of an adapter that is
// attached to the desktop, optionally one per size at its highest refresh rate, sorted by width.

#include <string>
#include <vector>

#include "platform/dxgi/dxgi.h"

// The refresh rate as the whole quotient numerator / denominator; 0 for a zero denominator.
int refresh_quotient(const DXGI_RATIONAL& rate);

// "%dx%d (%dHz)" with width, height and the refresh quotient.
std::string mode_text(const DXGI_MODE_DESC& mode);

// The R8G8B8A8_UNORM modes of the adapter's first output attached to the desktop; false when the
// adapter has no such output.
bool read_display_modes(IDXGIAdapter* adapter, std::vector<DXGI_MODE_DESC>& modes);

// Keeps one mode per (width, height): the one with the highest refresh quotient, the first one met
// among equals.
void filter_refresh_rates(std::vector<DXGI_MODE_DESC>& modes);

// By width, ascending; modes of equal width keep no particular order.
void sort_by_width(std::vector<DXGI_MODE_DESC>& modes);

// Index ⌊3n/4⌋ of n modes.
int fallback_mode_index(size_t count);

// The first mode 1920 wide and 1080 or 1200 high, else the fallback index.
int preferred_mode_index(const std::vector<DXGI_MODE_DESC>& modes);
