// A pointer and a keyboard for a compositor that has no input devices: reads commands from
// standard input and plays them through a virtual pointer and keyboard, answering "ok" once the
// compositor has taken each.
//   move X Y W H      the pointer to X,Y on a desktop of W x H
//   press left|right  release left|right
//   key escape|up|down|left|right|enter   a key pressed and released
#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace {

wl_seat* seat = nullptr;
zwlr_virtual_pointer_manager_v1* manager = nullptr;
zwp_virtual_keyboard_manager_v1* keyboards = nullptr;

// The compositor compiles the keymap from its own layout files.
const char kKeymap[] =
    "xkb_keymap { xkb_keycodes { include \"evdev+aliases(qwerty)\" };"
    " xkb_types { include \"complete\" };"
    " xkb_compat { include \"complete\" };"
    " xkb_symbols { include \"pc+us\" }; };";

zwp_virtual_keyboard_v1* CreateKeyboard() {
    if (!keyboards)
        return nullptr;
    zwp_virtual_keyboard_v1* keyboard =
        zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(keyboards, seat);
    const int fd = memfd_create("keymap", MFD_CLOEXEC);
    if (fd < 0 || write(fd, kKeymap, sizeof kKeymap) != static_cast<ssize_t>(sizeof kKeymap))
        return nullptr;
    zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, sizeof kKeymap);
    close(fd);
    return keyboard;
}

void Global(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t) {
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !seat)
        seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
    else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0)
        keyboards = static_cast<zwp_virtual_keyboard_manager_v1*>(
            wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
}

void GlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistry = {Global, GlobalRemove};

}  // namespace

int main() {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "pointerdriver: no compositor\n");
        return 1;
    }
    wl_registry_add_listener(wl_display_get_registry(display), &kRegistry, nullptr);
    wl_display_roundtrip(display);
    if (!manager) {
        std::fprintf(stderr, "pointerdriver: the compositor offers no virtual pointer\n");
        return 1;
    }
    zwlr_virtual_pointer_v1* pointer =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, seat);
    zwp_virtual_keyboard_v1* keyboard = CreateKeyboard();
    const std::map<std::string, uint32_t> keys = {{"escape", KEY_ESC},  {"up", KEY_UP},
                                                  {"down", KEY_DOWN},   {"left", KEY_LEFT},
                                                  {"right", KEY_RIGHT}, {"enter", KEY_ENTER}};
    wl_display_roundtrip(display);
    std::cout << "ok" << std::endl;
    uint32_t time = 0;
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream words(line);
        std::string verb;
        words >> verb;
        time += 10;
        if (verb == "move") {
            uint32_t x = 0, y = 0, w = 1, h = 1;
            words >> x >> y >> w >> h;
            zwlr_virtual_pointer_v1_motion_absolute(pointer, time, x, y, w, h);
        } else if (verb == "press" || verb == "release") {
            std::string which;
            words >> which;
            zwlr_virtual_pointer_v1_button(pointer, time, which == "right" ? BTN_RIGHT : BTN_LEFT,
                                           verb == "press" ? WL_POINTER_BUTTON_STATE_PRESSED
                                                           : WL_POINTER_BUTTON_STATE_RELEASED);
        } else if (verb == "key") {
            std::string which;
            words >> which;
            const auto key = keys.find(which);
            if (!keyboard || key == keys.end()) {
                std::cout << "unknown" << std::endl;
                continue;
            }
            zwp_virtual_keyboard_v1_key(keyboard, time, key->second, WL_KEYBOARD_KEY_STATE_PRESSED);
            zwp_virtual_keyboard_v1_key(keyboard, time + 5, key->second,
                                        WL_KEYBOARD_KEY_STATE_RELEASED);
        } else {
            std::cout << "unknown" << std::endl;
            continue;
        }
        zwlr_virtual_pointer_v1_frame(pointer);
        if (wl_display_roundtrip(display) == -1)
            return 1;
        std::cout << "ok" << std::endl;
    }
    if (keyboard)
        zwp_virtual_keyboard_v1_destroy(keyboard);
    zwlr_virtual_pointer_v1_destroy(pointer);
    wl_display_roundtrip(display);
    wl_display_disconnect(display);
    return 0;
}
