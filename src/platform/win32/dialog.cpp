#include "platform/win32/dialog.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

#include "platform/win32/window_messages.h"
#include "platform/win32/debugger.h"

namespace win32 {
namespace {

enum class control_kind_t { push_button, check_box, combo_box };

struct dialog_t;

struct dialog_control_t {
  dialog_t* dialog = nullptr;
  int id = 0;
  control_kind_t kind = control_kind_t::push_button;
  bool default_button = false;
  bool tab_stop = false;
  GtkWidget* widget = nullptr;
  GtkListStore* items = nullptr;  // combo boxes: text and item data per entry
};

struct dialog_t {
  DLGPROC procedure = nullptr;
  GtkWidget* window = nullptr;
  std::vector<std::unique_ptr<dialog_control_t>> controls;
  int client_width = 0;
  int client_height = 0;
  int x = 0;
  int y = 0;
  bool ended = false;
  INT_PTR result = 0;
  // Changes made through messages are not the user's: they send no notifications.
  int quiet = 0;
};

enum item_column_t { column_text = 0, column_data = 1 };

struct dialog_state_t {
  std::mutex mutex;
  std::map<int, dialog_template_t> templates;
  std::vector<dialog_t*> live;
  bool gtk_tried = false;
  bool gtk_ready = false;
};

dialog_state_t& state() {
  static dialog_state_t instance;
  return instance;
}

HWND to_hwnd(dialog_t* dialog) { return reinterpret_cast<HWND>(dialog); }
HWND to_hwnd(dialog_control_t* control) { return reinterpret_cast<HWND>(control); }

dialog_t* find_dialog(HWND hwnd) {
  for (dialog_t* dialog : state().live)
    if (to_hwnd(dialog) == hwnd) return dialog;
  return nullptr;
}

dialog_control_t* find_control(dialog_t* dialog, int id) {
  if (!dialog) return nullptr;
  for (const auto& control : dialog->controls)
    if (control->id == id) return control.get();
  return nullptr;
}

bool ensure_gtk() {
  dialog_state_t& s = state();
  if (!s.gtk_tried) {
    s.gtk_tried = true;
    // Without an accessibility bus GTK would wait for one and warn.
    g_setenv("NO_AT_BRIDGE", "1", FALSE);
    // The process keeps the C locale: number texts are read and written in it everywhere.
    gtk_disable_setlocale();
    s.gtk_ready = gtk_init_check(nullptr, nullptr);
    if (!s.gtk_ready) PLATFORM_LOG_WRN("No display for dialogs");
  }
  return s.gtk_ready;
}

// Average character width of the alphabet and the font height, in pixels, as dialog base units.
dialog_units_t measure_units(const dialog_template_t& dialog) {
  dialog_units_t units;
  PangoFontMap* font_map = pango_cairo_font_map_get_default();
  PangoContext* context = pango_font_map_create_context(font_map);
  pango_cairo_context_set_resolution(context, 96.0);
  std::string description = (dialog.font.empty() ? std::string("Sans") : dialog.font) + ", Sans " +
                            std::to_string(dialog.point_size);
  PangoFontDescription* font = pango_font_description_from_string(description.c_str());
  PangoLayout* layout = pango_layout_new(context);
  pango_layout_set_font_description(layout, font);
  static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  pango_layout_set_text(layout, alphabet, -1);
  int width = 0, height = 0;
  pango_layout_get_pixel_size(layout, &width, &height);
  if (width > 0 && height > 0) {
    units.base_x = (width / 26 + 1) / 2;
    units.base_y = height;
  }
  g_object_unref(layout);
  pango_font_description_free(font);
  g_object_unref(context);
  return units;
}

void install_style(const dialog_template_t& dialog) {
  static bool installed = false;
  if (installed) return;
  installed = true;
  // Compact widgets, so that items keep to their dialog-unit rectangles as on the desktop the
  // templates were laid out for.
  std::string font = dialog.font.empty() ? std::string("Sans") : dialog.font;
  std::string css = "* { font-family: \"" + font + "\", Sans; font-size: " + std::to_string(dialog.point_size) +
                    "pt; }\n"
                    "button { padding: 0 4px; min-height: 0; min-width: 0; }\n"
                    "combobox button { padding: 0 4px; min-height: 0; }\n"
                    "checkbutton { padding: 0; min-height: 0; }\n"
                    "check { min-width: 10px; min-height: 10px; margin: 0 4px 0 0; }\n";
  GtkCssProvider* provider = gtk_css_provider_new();
  gtk_css_provider_load_from_data(provider, css.c_str(), -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(provider),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(provider);
}

void send_command(dialog_control_t* control, WORD id, WORD notification) {
  dialog_t* dialog = control ? control->dialog : nullptr;
  if (!dialog || dialog->ended) return;
  dialog->procedure(to_hwnd(dialog), WM_COMMAND, MAKEWPARAM(id, notification),
                    reinterpret_cast<LPARAM>(to_hwnd(control)));
}

void on_clicked(GtkButton*, gpointer data) {
  auto* control = static_cast<dialog_control_t*>(data);
  if (control->dialog->quiet) return;
  send_command(control, static_cast<WORD>(control->id), BN_CLICKED);
}

dialog_control_t* default_button(dialog_t* dialog) {
  for (const auto& control : dialog->controls)
    if (control->default_button) return control.get();
  return find_control(dialog, IDOK);
}

// The command a key press stands for, as the dialog manager maps keys to buttons.
void press_button(dialog_t* dialog, int id) {
  dialog_control_t* control = find_control(dialog, id);
  if (dialog->ended) return;
  dialog->procedure(to_hwnd(dialog), WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
                    reinterpret_cast<LPARAM>(control ? to_hwnd(control) : nullptr));
}

// Tab moves through the tab stops in template order, as the dialog manager does; GTK would order
// them by position.
void move_focus(dialog_t* dialog, GtkWidget* focus, bool forward) {
  std::vector<dialog_control_t*> stops;
  for (const auto& control : dialog->controls)
    if (control->tab_stop && gtk_widget_get_visible(control->widget)) stops.push_back(control.get());
  if (stops.empty()) return;
  // A combo box takes the focus with a button of its own inside.
  auto current = std::find_if(stops.begin(), stops.end(), [&](dialog_control_t* c) {
    return focus && (c->widget == focus || gtk_widget_is_ancestor(focus, c->widget));
  });
  size_t next = 0;
  if (current != stops.end()) {
    const size_t at = static_cast<size_t>(current - stops.begin());
    next = forward ? (at + 1) % stops.size() : (at + stops.size() - 1) % stops.size();
  }
  gtk_widget_grab_focus(stops[next]->widget);
}

gboolean on_key_press(GtkWidget* window, GdkEventKey* event, gpointer data) {
  auto* dialog = static_cast<dialog_t*>(data);
  switch (event->keyval) {
    case GDK_KEY_Tab:
    case GDK_KEY_KP_Tab:
    case GDK_KEY_ISO_Left_Tab:
      move_focus(dialog, gtk_window_get_focus(GTK_WINDOW(window)),
                 event->keyval != GDK_KEY_ISO_Left_Tab && !(event->state & GDK_SHIFT_MASK));
      return TRUE;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter: {
      GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window));
      for (const auto& control : dialog->controls) {
        if (control->widget == focus && control->kind == control_kind_t::push_button) {
          press_button(dialog, control->id);
          return TRUE;
        }
      }
      dialog_control_t* fallback = default_button(dialog);
      press_button(dialog, fallback ? fallback->id : IDOK);
      return TRUE;
    }
    case GDK_KEY_Escape:
      press_button(dialog, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

gboolean on_delete(GtkWidget*, GdkEvent*, gpointer data) {
  press_button(static_cast<dialog_t*>(data), IDCANCEL);
  return TRUE;
}

std::unique_ptr<dialog_control_t> make_control(dialog_t* dialog, const dialog_item_template_t& item) {
  auto control = std::make_unique<dialog_control_t>();
  control->dialog = dialog;
  control->id = item.id;
  control->tab_stop = (item.style & WS_TABSTOP) != 0;
  if (item.class_name == "COMBOBOX") {
    control->kind = control_kind_t::combo_box;
    control->items = gtk_list_store_new(2, G_TYPE_STRING, G_TYPE_INT64);
    control->widget = gtk_combo_box_new_with_model(GTK_TREE_MODEL(control->items));
    GtkCellRenderer* text = gtk_cell_renderer_text_new();
    gtk_cell_layout_pack_start(GTK_CELL_LAYOUT(control->widget), text, TRUE);
    gtk_cell_layout_add_attribute(GTK_CELL_LAYOUT(control->widget), text, "text", column_text);
  } else if (item.class_name == "BUTTON" && (item.style & BS_TYPEMASK) == BS_AUTOCHECKBOX) {
    control->kind = control_kind_t::check_box;
    control->widget = gtk_check_button_new_with_label(item.text.c_str());
    g_signal_connect(control->widget, "clicked", G_CALLBACK(on_clicked), control.get());
  } else if (item.class_name == "BUTTON") {
    control->kind = control_kind_t::push_button;
    control->default_button = (item.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    control->widget = gtk_button_new_with_label(item.text.c_str());
    g_signal_connect(control->widget, "clicked", G_CALLBACK(on_clicked), control.get());
  } else {
    PLATFORM_LOG_WRN("Dialog item class %s is not supported", item.class_name.c_str());
    return nullptr;
  }
  gtk_widget_set_can_focus(control->widget, control->tab_stop);
  return control;
}

// Builds the window and its items, hidden.
void build(dialog_t* dialog, const dialog_template_t& source) {
  install_style(source);
  dialog_units_t units = measure_units(source);
  dialog->window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWindow* window = GTK_WINDOW(dialog->window);
  gtk_window_set_title(window, source.caption.c_str());
  gtk_window_set_resizable(window, FALSE);
  gtk_window_set_modal(window, TRUE);
  gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
  GtkWidget* fixed = gtk_fixed_new();
  gtk_widget_set_size_request(fixed, units.to_x(source.cx), units.to_y(source.cy));
  gtk_container_add(GTK_CONTAINER(dialog->window), fixed);
  for (const dialog_item_template_t& item : source.items) {
    auto control = make_control(dialog, item);
    if (!control) continue;
    // A drop-down combo box's height includes its list; the closed box takes its natural height.
    int height = control->kind == control_kind_t::combo_box ? -1 : units.to_y(item.cy);
    gtk_widget_set_size_request(control->widget, units.to_x(item.cx), height);
    gtk_fixed_put(GTK_FIXED(fixed), control->widget, units.to_x(item.x), units.to_y(item.y));
    if (control->default_button) {
      gtk_widget_set_can_default(control->widget, TRUE);
      gtk_window_set_default(window, control->widget);
    }
    if (!(item.style & WS_VISIBLE)) gtk_widget_set_no_show_all(control->widget, TRUE);
    dialog->controls.push_back(std::move(control));
  }
  g_signal_connect(dialog->window, "key-press-event", G_CALLBACK(on_key_press), dialog);
  g_signal_connect(dialog->window, "delete-event", G_CALLBACK(on_delete), dialog);
  dialog->client_width = units.to_x(source.cx);
  dialog->client_height = units.to_y(source.cy);
}

void drain_gtk_events() {
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

LRESULT combo_message(dialog_control_t* control, UINT message, WPARAM wparam, LPARAM lparam) {
  GtkTreeModel* model = GTK_TREE_MODEL(control->items);
  GtkComboBox* combo = GTK_COMBO_BOX(control->widget);
  const int count = gtk_tree_model_iter_n_children(model, nullptr);
  const int index = static_cast<int>(static_cast<intptr_t>(wparam));
  GtkTreeIter iter;
  const bool valid_index =
      index >= 0 && index < count && gtk_tree_model_iter_nth_child(model, &iter, nullptr, index);
  switch (message) {
    case CB_GETCOUNT:
      return count;
    case CB_RESETCONTENT:
      gtk_list_store_clear(control->items);
      return 0;
    case CB_INSERTSTRING: {
      // -1 appends; a position past the end is refused.
      if (index < -1 || index > count) return CB_ERR;
      const int at = index == -1 ? count : index;
      const char* text = reinterpret_cast<const char*>(lparam);
      gtk_list_store_insert_with_values(control->items, nullptr, at, column_text, text ? text : "",
                                        column_data, gint64{0}, -1);
      return at;
    }
    case CB_SETITEMDATA:
      if (!valid_index) return CB_ERR;
      gtk_list_store_set(control->items, &iter, column_data, static_cast<gint64>(lparam), -1);
      return 0;
    case CB_GETITEMDATA: {
      if (!valid_index) return CB_ERR;
      gint64 data = 0;
      gtk_tree_model_get(model, &iter, column_data, &data, -1);
      return static_cast<LRESULT>(data);
    }
    case CB_SETCURSEL:
      // -1 clears the selection and, as on the desktop, also answers CB_ERR.
      if (index == -1) {
        gtk_combo_box_set_active(combo, -1);
        return CB_ERR;
      }
      if (!valid_index) return CB_ERR;
      gtk_combo_box_set_active(combo, index);
      return index;
    case CB_GETCURSEL: {
      const int active = gtk_combo_box_get_active(combo);
      return active < 0 ? CB_ERR : active;
    }
    default:
      return 0;
  }
}

LRESULT button_message(dialog_control_t* control, UINT message, WPARAM wparam) {
  if (control->kind != control_kind_t::check_box) return 0;
  GtkToggleButton* toggle = GTK_TOGGLE_BUTTON(control->widget);
  switch (message) {
    case BM_GETCHECK:
      return gtk_toggle_button_get_active(toggle) ? BST_CHECKED : BST_UNCHECKED;
    case BM_SETCHECK:
      gtk_toggle_button_set_active(toggle, wparam == BST_CHECKED);
      return 0;
    default:
      return 0;
  }
}

}  // namespace

dialog_template_registrar_t::dialog_template_registrar_t(int id, dialog_template_t dialog) {
  std::lock_guard lock(state().mutex);
  state().templates[id] = std::move(dialog);
}

bool dialog_client_rect(HWND hwnd, RECT* rect) {
  dialog_t* dialog = find_dialog(hwnd);
  if (!dialog || !rect) return false;
  *rect = {0, 0, dialog->client_width, dialog->client_height};
  return true;
}

bool dialog_window_rect(HWND hwnd, RECT* rect) {
  dialog_t* dialog = find_dialog(hwnd);
  if (!dialog || !rect) return false;
  *rect = {dialog->x, dialog->y, dialog->x + dialog->client_width, dialog->y + dialog->client_height};
  return true;
}

bool dialog_set_window_pos(HWND hwnd, int x, int y, int cx, int cy, UINT flags) {
  dialog_t* dialog = find_dialog(hwnd);
  if (!dialog) return false;
  if (!(flags & SWP_NOMOVE)) {
    dialog->x = x;
    dialog->y = y;
    gtk_window_move(GTK_WINDOW(dialog->window), x, y);
  }
  if (!(flags & SWP_NOSIZE)) {
    dialog->client_width = std::max(cx, 1);
    dialog->client_height = std::max(cy, 1);
    gtk_window_resize(GTK_WINDOW(dialog->window), dialog->client_width, dialog->client_height);
  }
  return true;
}

}  // namespace win32

INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR name, HWND owner, DLGPROC procedure, LPARAM param) {
  if (!procedure || !IS_INTRESOURCE(name)) return -1;
  win32::dialog_template_t source;
  {
    auto& s = win32::state();
    std::lock_guard lock(s.mutex);
    auto found = s.templates.find(static_cast<int>(reinterpret_cast<uintptr_t>(name)));
    if (found == s.templates.end()) return -1;
    source = found->second;
  }
  if (!win32::ensure_gtk()) return -1;

  auto dialog = std::make_unique<win32::dialog_t>();
  dialog->procedure = procedure;
  win32::build(dialog.get(), source);
  win32::state().live.push_back(dialog.get());
  const HWND hwnd = win32::to_hwnd(dialog.get());

  win32::dialog_control_t* first_stop = nullptr;
  for (const auto& control : dialog->controls) {
    if (control->tab_stop) {
      first_stop = control.get();
      break;
    }
  }
  const HWND focus = first_stop ? win32::to_hwnd(first_stop) : nullptr;
  const INT_PTR focus_default = procedure(hwnd, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), param);
  if (!dialog->ended) {
    gtk_widget_show_all(dialog->window);
    if (focus_default && first_stop) gtk_widget_grab_focus(first_stop->widget);
    gtk_window_present(GTK_WINDOW(dialog->window));
    while (!dialog->ended) gtk_main_iteration_do(TRUE);
  }
  procedure(hwnd, WM_DESTROY, 0, 0);

  auto& live = win32::state().live;
  live.erase(std::remove(live.begin(), live.end(), dialog.get()), live.end());
  gtk_widget_destroy(dialog->window);
  for (const auto& control : dialog->controls)
    if (control->items) g_object_unref(control->items);
  win32::drain_gtk_events();
  return dialog->result;
}

BOOL EndDialog(HWND hwnd, INT_PTR result) {
  win32::dialog_t* dialog = win32::find_dialog(hwnd);
  if (!dialog) return FALSE;
  dialog->ended = true;
  dialog->result = result;
  return TRUE;
}

HWND GetDlgItem(HWND hwnd, int id) {
  win32::dialog_control_t* control = win32::find_control(win32::find_dialog(hwnd), id);
  return control ? win32::to_hwnd(control) : nullptr;
}

LRESULT SendDlgItemMessageA(HWND hwnd, int id, UINT message, WPARAM wparam, LPARAM lparam) {
  win32::dialog_control_t* control = win32::find_control(win32::find_dialog(hwnd), id);
  if (!control) return 0;
  ++control->dialog->quiet;
  LRESULT result = 0;
  if (control->kind == win32::control_kind_t::combo_box)
    result = win32::combo_message(control, message, wparam, lparam);
  else
    result = win32::button_message(control, message, wparam);
  --control->dialog->quiet;
  return result;
}

BOOL CheckDlgButton(HWND hwnd, int id, UINT check) {
  if (!GetDlgItem(hwnd, id)) return FALSE;
  SendDlgItemMessageA(hwnd, id, BM_SETCHECK, check, 0);
  return TRUE;
}

UINT IsDlgButtonChecked(HWND hwnd, int id) {
  return static_cast<UINT>(SendDlgItemMessageA(hwnd, id, BM_GETCHECK, 0, 0));
}
