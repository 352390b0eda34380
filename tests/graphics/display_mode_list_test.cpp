// The settings dialog's mode list: reading the first attached output, the refresh-rate filter,
// the sort by width, the entry texts and the preselection.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "graphics/display_mode_list.h"
#include "graphics/settings_dialog.h"
#include "platform/dxgi/adapter_list.h"

namespace {

struct mode_t {
  UINT width, height, numerator, denominator;
};

std::vector<DXGI_MODE_DESC> modes_of(const std::vector<mode_t>& list) {
  std::vector<DXGI_MODE_DESC> modes;
  for (const mode_t& m : list) {
    DXGI_MODE_DESC mode;
    mode.Width = m.width;
    mode.Height = m.height;
    mode.RefreshRate = {m.numerator, m.denominator};
    modes.push_back(mode);
  }
  return modes;
}

std::vector<std::string> texts_of(const std::vector<DXGI_MODE_DESC>& modes) {
  std::vector<std::string> texts;
  for (const DXGI_MODE_DESC& mode : modes) texts.push_back(mode_text(mode));
  return texts;
}

// The list the dialog shows with the filter on, in order, and the entry it preselects.
struct filter_case_t {
  const char* name;
  std::vector<mode_t> modes;
  std::vector<std::string> shown;
  int preselected;
};

TEST(DisplayModeListTest, FilterKeepsTheFastestRefreshPerSizeSortsByWidthAndPreselects) {
  const filter_case_t cases[] = {
      {"1080p at 59 and 60 Hz gives one entry at 60 Hz, preselected",
       {{1280, 720, 60, 1}, {1920, 1080, 59, 1}, {1920, 1080, 60, 1}, {800, 600, 60, 1}},
       {"800x600 (60Hz)", "1280x720 (60Hz)", "1920x1080 (60Hz)"},
       2},
      {"fractional rates compare by their whole quotient; the first of equals stays",
       {{1920, 1080, 60000, 1001}, {1920, 1080, 59940, 1000}, {1920, 1080, 50, 1}},
       {"1920x1080 (59Hz)"},
       0},
      {"a zero denominator counts as 0 Hz",
       {{1024, 768, 75, 0}, {1024, 768, 60, 1}},
       {"1024x768 (60Hz)"},
       0},
      {"1920x1200 is preferred as well",
       {{2560, 1440, 144, 1}, {1920, 1200, 60, 1}, {640, 480, 60, 1}, {1280, 1024, 75, 1}},
       {"640x480 (60Hz)", "1280x1024 (75Hz)", "1920x1200 (60Hz)", "2560x1440 (144Hz)"},
       2},
      {"1920 wide but neither 1080 nor 1200 high is not preferred",
       {{1920, 1440, 60, 1}, {800, 600, 60, 1}, {1024, 768, 60, 1}, {1280, 960, 60, 1}},
       {"800x600 (60Hz)", "1024x768 (60Hz)", "1280x960 (60Hz)", "1920x1440 (60Hz)"},
       3},
      {"one mode of unknown rate (a virtual screen)", {{1280, 720, 0, 1}}, {"1280x720 (0Hz)"}, 0},
  };
  for (const filter_case_t& c : cases) {
    SCOPED_TRACE(c.name);
    auto modes = modes_of(c.modes);
    filter_refresh_rates(modes);
    sort_by_width(modes);
    EXPECT_EQ(texts_of(modes), c.shown);
    EXPECT_EQ(preferred_mode_index(modes), c.preselected);
  }
}

TEST(DisplayModeListTest, WithoutThePreferredSizeThreeQuartersDownIsPreselected) {
  // Ten sizes, none of them 1920 × 1080 or 1200: index ⌊30 / 4⌋ = 7.
  std::vector<mode_t> list;
  for (UINT i = 0; i < 10; ++i) list.push_back({640 + 64 * i, 480, 60, 1});
  auto modes = modes_of(list);
  filter_refresh_rates(modes);
  sort_by_width(modes);
  ASSERT_EQ(modes.size(), 10u);
  EXPECT_EQ(preferred_mode_index(modes), 7);

  const struct {
    size_t count;
    int index;
  } fallbacks[] = {{0, 0}, {1, 0}, {2, 1}, {3, 2}, {4, 3}, {5, 3}, {10, 7}, {13, 9}};
  for (const auto& f : fallbacks) EXPECT_EQ(fallback_mode_index(f.count), f.index) << f.count;
}

TEST(DisplayModeListTest, WithoutTheFilterEveryRateStaysAndTheSortIsByWidthOnly) {
  auto modes = modes_of({{1920, 1080, 60, 1}, {1280, 720, 50, 1}, {1920, 1080, 59, 1}, {1280, 1024, 60, 1},
                         {640, 480, 60, 1}});
  sort_by_width(modes);
  ASSERT_EQ(modes.size(), 5u);
  std::vector<UINT> widths;
  for (const DXGI_MODE_DESC& mode : modes) widths.push_back(mode.Width);
  EXPECT_EQ(widths, (std::vector<UINT>{640, 1280, 1280, 1920, 1920}));
  // Both 1080p rates are listed; which comes first among equal widths is not fixed.
  std::vector<std::string> texts = texts_of(modes);
  EXPECT_NE(std::find(texts.begin(), texts.end(), "1920x1080 (59Hz)"), texts.end());
  EXPECT_NE(std::find(texts.begin(), texts.end(), "1920x1080 (60Hz)"), texts.end());
  EXPECT_EQ(preferred_mode_index(modes), 3);
}

com_ptr_t<IDXGIAdapter> first_adapter() {
  com_ptr_t<IDXGIFactory> factory;
  EXPECT_EQ(CreateDXGIFactory(__uuidof(IDXGIFactory), (void**)&factory.p), S_OK);
  com_ptr_t<IDXGIAdapter> adapter;
  if (factory) {
    EXPECT_EQ(factory->EnumAdapters(0, &adapter), S_OK);
  }
  return adapter;
}

TEST(DisplayModeListTest, ModesComeFromTheFirstOutputAttachedToTheDesktop) {
  dxgi_adapter_info_t adapter = dxgi_fake_adapter(dxgi_vendor_intel, u"Intel(R) UHD Graphics 630");
  adapter.outputs.clear();
  dxgi_output_info_t detached;
  detached.attached_to_desktop = false;
  detached.modes = modes_of({{3840, 2160, 60, 1}});
  dxgi_output_info_t attached;
  attached.device_name = u"\\\\.\\DISPLAY2";
  attached.modes = modes_of({{1024, 768, 60, 1}, {1280, 1024, 75, 1}});
  dxgi_output_info_t second_attached;
  second_attached.modes = modes_of({{640, 480, 60, 1}});
  adapter.outputs = {detached, attached, second_attached};
  dxgi_adapter_override_t injected({adapter});

  std::vector<DXGI_MODE_DESC> modes = modes_of({{1, 1, 1, 1}});
  ASSERT_TRUE(read_display_modes(first_adapter(), modes));
  EXPECT_EQ(texts_of(modes), (std::vector<std::string>{"1024x768 (60Hz)", "1280x1024 (75Hz)"}));
  for (const DXGI_MODE_DESC& mode : modes) EXPECT_EQ(mode.Format, DXGI_FORMAT_R8G8B8A8_UNORM);
}

TEST(DisplayModeListTest, AnAdapterWithoutAnAttachedOutputHasNoModeList) {
  dxgi_adapter_info_t adapter = dxgi_fake_adapter(dxgi_vendor_nvidia, u"NVIDIA GeForce GTX 1080");
  adapter.outputs[0].attached_to_desktop = false;
  dxgi_adapter_info_t no_outputs = dxgi_fake_adapter(dxgi_vendor_amd, u"AMD Radeon RX 580");
  no_outputs.outputs.clear();
  for (const dxgi_adapter_info_t& info : {adapter, no_outputs}) {
    dxgi_adapter_override_t injected({info});
    std::vector<DXGI_MODE_DESC> modes = modes_of({{1, 1, 1, 1}});
    EXPECT_FALSE(read_display_modes(first_adapter(), modes));
    EXPECT_TRUE(modes.empty());
  }
  std::vector<DXGI_MODE_DESC> modes;
  EXPECT_FALSE(read_display_modes(nullptr, modes));
}

}  // namespace

// A dialog closed with nothing selected (an output without modes) gives no window size; the window
// is then refused with a message instead of opened at -1 x -1.
TEST(DisplayModeListTest, AChoiceWithoutASelectedModeIsRefused) {
  struct choice_case_t {
    int32_t selected, width, height;
    bool accepted;
  };
  for (const choice_case_t& c : {choice_case_t{-1, -1, -1, false}, choice_case_t{-1, 1920, 1080, false},
                                 choice_case_t{0, -1, -1, false}, choice_case_t{0, 0, 1080, false},
                                 choice_case_t{0, 1920, 1080, true}, choice_case_t{3, 640, 480, true}}) {
    display_settings_t settings;
    settings.selected = c.selected;
    settings.width = c.width;
    settings.height = c.height;
    const auto checked = check_display_choice(settings);
    EXPECT_EQ(checked.has_value(), c.accepted) << c.selected << " " << c.width << "x" << c.height;
    if (!checked) {
      EXPECT_EQ(checked.error(), "No display mode was selected in the settings dialog");
    }
  }
}
