#include "platform/wayland/layerticker.h"

#include <fcntl.h>
#include <linux/input-event-codes.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <wayland-cursor.h>
#include <xcb/xcb.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEnterEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/logging.h"

// The protocol calls an argument "namespace", a keyword in C++.
#define namespace name_space
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace
#include "relative-pointer-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace kestrel {

struct Output {
    wl_output* Handle = nullptr;
    quint32 Name = 0;
    QPoint Position;
    QSize Mode;
    int Scale = 1;
    bool Turned = false;  // rotated by 90 or 270 degrees: width and height swap

    QSize LogicalSize() const {
        const QSize size = Turned ? Mode.transposed() : Mode;
        return Scale > 1 ? size / Scale : size;
    }
};

struct WaylandLink::Globals {
    wl_display* Display = nullptr;
    wl_registry* Registry = nullptr;
    wl_compositor* Compositor = nullptr;
    quint32 CompositorVersion = 0;
    wl_shm* Shm = nullptr;
    wl_seat* Seat = nullptr;
    zwlr_layer_shell_v1* LayerShell = nullptr;
    quint32 LayerShellVersion = 0;
    zwp_relative_pointer_manager_v1* RelativePointers = nullptr;
    xdg_wm_base* WmBase = nullptr;  // for the menus' pop-ups
    std::vector<std::unique_ptr<Output>> Outputs;
    std::function<void()> OnSeatChanged;
    std::function<void(quint32)> OnOutputGone;
    quint32 SeatCapabilities = 0;

    Output* FirstOutput() const { return Outputs.empty() ? nullptr : Outputs.front().get(); }
};

namespace {

void OutputGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t,
                    const char*, const char*, int32_t transform) {
    auto* output = static_cast<Output*>(data);
    output->Position = QPoint(x, y);
    output->Turned = transform == WL_OUTPUT_TRANSFORM_90 || transform == WL_OUTPUT_TRANSFORM_270 ||
                     transform == WL_OUTPUT_TRANSFORM_FLIPPED_90 ||
                     transform == WL_OUTPUT_TRANSFORM_FLIPPED_270;
}

void OutputMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
    if (flags & WL_OUTPUT_MODE_CURRENT)
        static_cast<Output*>(data)->Mode = QSize(width, height);
}

void OutputDone(void*, wl_output*) {}

void OutputScale(void* data, wl_output*, int32_t factor) {
    static_cast<Output*>(data)->Scale = std::max(1, factor);
}

const wl_output_listener kOutputListener = {OutputGeometry, OutputMode, OutputDone, OutputScale};

void SeatCapabilities(void* data, wl_seat*, uint32_t capabilities) {
    auto* globals = static_cast<WaylandLink::Globals*>(data);
    globals->SeatCapabilities = capabilities;
    if (globals->OnSeatChanged)
        globals->OnSeatChanged();
}

void SeatName(void*, wl_seat*, const char*) {}

const wl_seat_listener kSeatListener = {SeatCapabilities, SeatName};

const xdg_wm_base_listener kWmBaseListener = {
    [](void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); }};

void RegistryGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
                    uint32_t version) {
    auto* globals = static_cast<WaylandLink::Globals*>(data);
    const auto bind = [&](const wl_interface* kind, uint32_t highest) {
        return wl_registry_bind(registry, name, kind, std::min(version, highest));
    };
    if (std::strcmp(interface, wl_compositor_interface.name) == 0 && !globals->Compositor) {
        globals->CompositorVersion = std::min(version, 4u);
        globals->Compositor = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
    } else if (std::strcmp(interface, wl_shm_interface.name) == 0 && !globals->Shm) {
        globals->Shm = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
    } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !globals->Seat) {
        globals->Seat = static_cast<wl_seat*>(bind(&wl_seat_interface, 2));
        wl_seat_add_listener(globals->Seat, &kSeatListener, globals);
    } else if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0 &&
               !globals->LayerShell) {
        globals->LayerShellVersion = std::min(version, 2u);
        globals->LayerShell =
            static_cast<zwlr_layer_shell_v1*>(bind(&zwlr_layer_shell_v1_interface, 2));
    } else if (std::strcmp(interface, zwp_relative_pointer_manager_v1_interface.name) == 0 &&
               !globals->RelativePointers) {
        globals->RelativePointers = static_cast<zwp_relative_pointer_manager_v1*>(
            bind(&zwp_relative_pointer_manager_v1_interface, 1));
    } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0 && !globals->WmBase) {
        globals->WmBase = static_cast<xdg_wm_base*>(bind(&xdg_wm_base_interface, 1));
        xdg_wm_base_add_listener(globals->WmBase, &kWmBaseListener, nullptr);
    } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
        auto output = std::make_unique<Output>();
        output->Name = name;
        output->Handle = static_cast<wl_output*>(bind(&wl_output_interface, 2));
        wl_output_add_listener(output->Handle, &kOutputListener, output.get());
        globals->Outputs.push_back(std::move(output));
    }
}

void RegistryGlobalRemove(void* data, wl_registry*, uint32_t name) {
    auto* globals = static_cast<WaylandLink::Globals*>(data);
    auto& outputs = globals->Outputs;
    const auto gone = std::find_if(outputs.begin(), outputs.end(),
                                   [name](const auto& output) { return output->Name == name; });
    if (gone == outputs.end())
        return;
    if (globals->OnOutputGone)
        globals->OnOutputGone(name);
    wl_output_destroy((*gone)->Handle);
    outputs.erase(gone);
}

const wl_registry_listener kRegistryListener = {RegistryGlobal, RegistryGlobalRemove};

void CallbackDone(void* data, wl_callback*, uint32_t) {
    *static_cast<bool*>(data) = true;
}

const wl_callback_listener kCallbackListener = {CallbackDone};

// A round trip that gives up at the deadline: the only wait on the compositor, at start-up.
bool RoundTrip(wl_display* display, const QDeadlineTimer& deadline) {
    bool done = false;
    wl_callback* callback = wl_display_sync(display);
    wl_callback_add_listener(callback, &kCallbackListener, &done);
    while (!done) {
        while (wl_display_prepare_read(display) != 0)
            wl_display_dispatch_pending(display);
        if (done) {
            wl_display_cancel_read(display);
            break;
        }
        wl_display_flush(display);
        pollfd fd{wl_display_get_fd(display), POLLIN, 0};
        const qint64 left = deadline.remainingTime();
        if (left <= 0 || poll(&fd, 1, static_cast<int>(left)) <= 0) {
            wl_display_cancel_read(display);
            break;
        }
        if (wl_display_read_events(display) == -1)
            break;
        wl_display_dispatch_pending(display);
    }
    // The answer may still come; it must not reach the flag on our stack then.
    wl_callback_destroy(callback);
    return done && wl_display_get_error(display) == 0;
}

}  // namespace

WaylandLink::WaylandLink() : globals_(std::make_unique<Globals>()) {}

WaylandLink::~WaylandLink() {
    Globals& g = *globals_;
    for (const auto& output : g.Outputs)
        wl_output_destroy(output->Handle);
    if (g.LayerShell)
        zwlr_layer_shell_v1_destroy(g.LayerShell);
    if (g.RelativePointers)
        zwp_relative_pointer_manager_v1_destroy(g.RelativePointers);
    if (g.WmBase)
        xdg_wm_base_destroy(g.WmBase);
    if (g.Seat)
        wl_seat_destroy(g.Seat);
    if (g.Shm)
        wl_shm_destroy(g.Shm);
    if (g.Compositor)
        wl_compositor_destroy(g.Compositor);
    if (g.Registry)
        wl_registry_destroy(g.Registry);
    if (g.Display)
        wl_display_disconnect(g.Display);
}

std::unique_ptr<WaylandLink> WaylandLink::Open(int timeoutMs) {
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_SOCKET"))
        return nullptr;
    std::unique_ptr<WaylandLink> link(new WaylandLink);
    Globals& g = *link->globals_;
    g.Display = wl_display_connect(nullptr);
    if (!g.Display)
        return nullptr;
    g.Registry = wl_display_get_registry(g.Display);
    wl_registry_add_listener(g.Registry, &kRegistryListener, &g);
    const QDeadlineTimer deadline(timeoutMs);
    // The first trip brings the globals, the second what the outputs and the seat say of
    // themselves.
    if (!RoundTrip(g.Display, deadline) || !RoundTrip(g.Display, deadline))
        return nullptr;
    return link;
}

bool WaylandLink::HasLayerShell() const {
    const Globals& g = *globals_;
    return g.LayerShell && g.Compositor && g.Shm && !g.Outputs.empty();
}

bool LocalXServerReachable() {
    const QByteArray display = qgetenv("DISPLAY");
    if (!display.startsWith(':') && !display.startsWith("unix:"))
        return false;
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const bool reachable = connection && xcb_connection_has_error(connection) == 0;
    if (connection)
        xcb_disconnect(connection);
    return reachable;
}

// One shared-memory buffer; the compositor reads it until it releases it.
struct ShmBuffer {
    wl_buffer* Handle = nullptr;
    void* Memory = nullptr;
    size_t Bytes = 0;
    QSize Pixels;
    bool Busy = false;

    ~ShmBuffer() {
        if (Handle)
            wl_buffer_destroy(Handle);
        if (Memory)
            munmap(Memory, Bytes);
    }
};

namespace {

void BufferRelease(void* data, wl_buffer*) {
    static_cast<ShmBuffer*>(data)->Busy = false;
}

const wl_buffer_listener kBufferListener = {BufferRelease};

std::unique_ptr<ShmBuffer> CreateBuffer(wl_shm* shm, QSize pixels) {
    auto buffer = std::make_unique<ShmBuffer>();
    const int stride = pixels.width() * 4;
    buffer->Bytes = static_cast<size_t>(stride) * static_cast<size_t>(pixels.height());
    buffer->Pixels = pixels;
    const int fd = memfd_create("kestrel-ticker", MFD_CLOEXEC);
    if (fd < 0)
        return nullptr;
    if (ftruncate(fd, static_cast<off_t>(buffer->Bytes)) != 0) {
        close(fd);
        return nullptr;
    }
    void* memory = mmap(nullptr, buffer->Bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (memory == MAP_FAILED) {
        close(fd);
        return nullptr;
    }
    buffer->Memory = memory;
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(buffer->Bytes));
    buffer->Handle = wl_shm_pool_create_buffer(pool, 0, pixels.width(), pixels.height(), stride,
                                               WL_SHM_FORMAT_ARGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    wl_buffer_add_listener(buffer->Handle, &kBufferListener, buffer.get());
    return buffer;
}

// Renders the widget into whichever of the surface's two buffers the compositor does not read,
// and shows it; false while it reads both.
bool Present(const WaylandLink::Globals& g, wl_surface* surface,
             std::unique_ptr<ShmBuffer> (&buffers)[2], QWidget* widget, QSize size, int scale,
             int alpha) {
    const QSize pixels = size * scale;
    ShmBuffer* free = nullptr;
    for (auto& buffer : buffers) {
        if (buffer && buffer->Pixels != pixels && !buffer->Busy)
            buffer.reset();
        if (!buffer)
            buffer = CreateBuffer(g.Shm, pixels);
        if (buffer && !buffer->Busy && buffer->Pixels == pixels) {
            free = buffer.get();
            break;
        }
    }
    if (!free)
        return false;
    // The buffer's bytes are the compositor's ARGB8888: premultiplied, native byte order.
    QImage picture(static_cast<uchar*>(free->Memory), pixels.width(), pixels.height(),
                   pixels.width() * 4, QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(scale);
    picture.fill(Qt::transparent);
    widget->render(&picture);
    if (alpha < 255) {
        QPainter fade(&picture);
        fade.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        fade.fillRect(QRect(QPoint(), size), QColor(0, 0, 0, alpha));
    }
    if (g.CompositorVersion >= 3)
        wl_surface_set_buffer_scale(surface, scale);
    wl_surface_attach(surface, free->Handle, 0, 0);
    wl_surface_damage(surface, 0, 0, size.width(), size.height());
    wl_surface_commit(surface);
    free->Busy = true;
    return true;
}

}  // namespace

struct LayerTicker::Surface {
    wl_surface* Handle = nullptr;
    zwlr_layer_surface_v1* Layer = nullptr;
    Output* On = nullptr;
    bool Configured = false;
    bool Closed = false;  // by the compositor: its output is going away
    // Two buffers: one the compositor shows, one we draw the next picture into.
    std::unique_ptr<ShmBuffer> Buffers[2];

    ~Surface() {
        if (Layer)
            zwlr_layer_surface_v1_destroy(Layer);
        if (Handle)
            wl_surface_destroy(Handle);
    }
};

struct LayerTicker::Pointer {
    wl_pointer* Handle = nullptr;
    zwp_relative_pointer_v1* Relative = nullptr;
    wl_cursor_theme* Theme = nullptr;
    wl_surface* Cursor = nullptr;
    wl_surface* Over = nullptr;  // the surface the pointer is on

    ~Pointer() {
        if (Cursor)
            wl_surface_destroy(Cursor);
        if (Theme)
            wl_cursor_theme_destroy(Theme);
        if (Relative)
            zwp_relative_pointer_v1_destroy(Relative);
        if (Handle)
            wl_pointer_destroy(Handle);
    }
};

struct LayerTicker::MenuSurface {
    LayerTicker* Owner = nullptr;
    QPointer<QWidget> Menu;
    wl_surface* Handle = nullptr;
    xdg_surface* Xdg = nullptr;
    xdg_popup* Popup = nullptr;
    QPoint Origin;  // the parent's top-left, in the desktop's coordinates
    QPoint Placed;  // where the compositor put it, from the parent's top-left
    QPointF PointerAt;
    bool Configured = false;
    bool Dirty = true;
    std::unique_ptr<ShmBuffer> Buffers[2];

    ~MenuSurface() {
        if (Popup)
            xdg_popup_destroy(Popup);
        if (Xdg)
            xdg_surface_destroy(Xdg);
        if (Handle)
            wl_surface_destroy(Handle);
    }
};

struct LayerTicker::Keyboard {
    wl_keyboard* Handle = nullptr;

    ~Keyboard() {
        if (Handle)
            wl_keyboard_destroy(Handle);
    }
};

namespace {

void LayerConfigure(void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t, uint32_t) {
    auto* surface = static_cast<LayerTicker::Surface*>(data);
    zwlr_layer_surface_v1_ack_configure(layer, serial);
    surface->Configured = true;
}

void LayerClosed(void* data, zwlr_layer_surface_v1*) {
    auto* surface = static_cast<LayerTicker::Surface*>(data);
    surface->Configured = false;
    surface->Closed = true;
}

const zwlr_layer_surface_v1_listener kLayerListener = {LayerConfigure, LayerClosed};

}  // namespace

LayerTicker::LayerTicker(std::unique_ptr<WaylandLink> link, IWindowServices* desktop)
    : link_(std::move(link)), desktop_(desktop) {
    WaylandLink::Globals& g = link_->Get();
    notifier_ = new QSocketNotifier(wl_display_get_fd(g.Display), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { Dispatch(); });
    // Requests made anywhere in an event loop pass go out before the loop sleeps.
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            [this] { Flush(); });
    g.OnSeatChanged = [this] {
        WaylandLink::Globals& globals = link_->Get();
        const bool hasPointer = globals.SeatCapabilities & WL_SEAT_CAPABILITY_POINTER;
        if (hasPointer && !pointer_) {
            static const wl_pointer_listener listener = {
                [](void* data, wl_pointer* pointer, uint32_t serial, wl_surface* surface,
                   wl_fixed_t x, wl_fixed_t y) {
                    auto* self = static_cast<LayerTicker*>(data);
                    self->serial_ = serial;
                    self->pointer_->Over = surface;
                    if (self->pointer_->Cursor)
                        wl_pointer_set_cursor(pointer, serial, self->pointer_->Cursor, 0, 0);
                    const QPointF at(wl_fixed_to_double(x), wl_fixed_to_double(y));
                    if (MenuSurface* menu = self->MenuOn(surface)) {
                        menu->PointerAt = at;
                        self->MenuPointer(menu, QEvent::Enter, Qt::NoButton);
                    } else {
                        self->PointerEntered(at);
                    }
                },
                [](void* data, wl_pointer*, uint32_t, wl_surface* surface) {
                    auto* self = static_cast<LayerTicker*>(data);
                    self->pointer_->Over = nullptr;
                    if (MenuSurface* menu = self->MenuOn(surface))
                        self->MenuPointer(menu, QEvent::Leave, Qt::NoButton);
                    else
                        self->PointerLeft();
                },
                [](void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
                    auto* self = static_cast<LayerTicker*>(data);
                    const QPointF at(wl_fixed_to_double(x), wl_fixed_to_double(y));
                    if (MenuSurface* menu = self->MenuOn(self->pointer_->Over)) {
                        menu->PointerAt = at;
                        self->MenuPointer(menu, QEvent::MouseMove, Qt::NoButton);
                    } else {
                        self->PointerMoved(at);
                    }
                },
                [](void* data, wl_pointer*, uint32_t serial, uint32_t, uint32_t button,
                   uint32_t state) {
                    auto* self = static_cast<LayerTicker*>(data);
                    self->serial_ = serial;
                    const bool pressed = state == WL_POINTER_BUTTON_STATE_PRESSED;
                    if (MenuSurface* menu = self->MenuOn(self->pointer_->Over)) {
                        const Qt::MouseButton which = button == BTN_LEFT    ? Qt::LeftButton
                                                      : button == BTN_RIGHT ? Qt::RightButton
                                                                            : Qt::NoButton;
                        if (which != Qt::NoButton) {
                            self->MenuPointer(
                                menu,
                                pressed ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease,
                                which);
                        }
                    } else {
                        self->PointerButton(button, pressed);
                    }
                },
                [](void*, wl_pointer*, uint32_t, uint32_t, wl_fixed_t) {},
            };
            pointer_ = std::make_unique<Pointer>();
            pointer_->Handle = wl_seat_get_pointer(globals.Seat);
            wl_pointer_add_listener(pointer_->Handle, &listener, this);
            if (globals.RelativePointers) {
                static const zwp_relative_pointer_v1_listener relative = {
                    [](void* data, zwp_relative_pointer_v1*, uint32_t, uint32_t, wl_fixed_t dx,
                       wl_fixed_t dy, wl_fixed_t, wl_fixed_t) {
                        static_cast<LayerTicker*>(data)->PointerShifted(
                            QPointF(wl_fixed_to_double(dx), wl_fixed_to_double(dy)));
                    },
                };
                pointer_->Relative = zwp_relative_pointer_manager_v1_get_relative_pointer(
                    globals.RelativePointers, pointer_->Handle);
                zwp_relative_pointer_v1_add_listener(pointer_->Relative, &relative, this);
            }
            // Without a cursor of our own the pointer keeps whatever shape it had outside.
            pointer_->Theme = wl_cursor_theme_load(nullptr, 24, globals.Shm);
            wl_cursor* arrow =
                pointer_->Theme ? wl_cursor_theme_get_cursor(pointer_->Theme, "left_ptr") : nullptr;
            if (arrow && arrow->image_count > 0) {
                wl_cursor_image* image = arrow->images[0];
                pointer_->Cursor = wl_compositor_create_surface(globals.Compositor);
                wl_surface_attach(pointer_->Cursor, wl_cursor_image_get_buffer(image), 0, 0);
                wl_surface_commit(pointer_->Cursor);
            }
        } else if (!hasPointer && pointer_) {
            pointer_.reset();
            dragging_ = false;
        }
        // Only a menu's pop-up takes keys: the surface itself never has the keyboard.
        const bool hasKeyboard = globals.SeatCapabilities & WL_SEAT_CAPABILITY_KEYBOARD;
        if (hasKeyboard && !keyboard_) {
            static const wl_keyboard_listener listener = {
                [](void*, wl_keyboard*, uint32_t, int32_t fd, uint32_t) { close(fd); },
                [](void* data, wl_keyboard*, uint32_t serial, wl_surface*, wl_array*) {
                    static_cast<LayerTicker*>(data)->serial_ = serial;
                },
                [](void*, wl_keyboard*, uint32_t, wl_surface*) {},
                [](void* data, wl_keyboard*, uint32_t serial, uint32_t, uint32_t key,
                   uint32_t state) {
                    auto* self = static_cast<LayerTicker*>(data);
                    self->serial_ = serial;
                    if (state == WL_KEYBOARD_KEY_STATE_PRESSED)
                        self->MenuKey(key);
                },
                [](void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {},
                [](void*, wl_keyboard*, int32_t, int32_t) {},
            };
            keyboard_ = std::make_unique<Keyboard>();
            keyboard_->Handle = wl_seat_get_keyboard(globals.Seat);
            wl_keyboard_add_listener(keyboard_->Handle, &listener, this);
        } else if (!hasKeyboard && keyboard_) {
            keyboard_.reset();
        }
    };
    g.OnOutputGone = [this](quint32 name) {
        if (surface_ && surface_->On && surface_->On->Name == name) {
            DestroySurface();
            QTimer::singleShot(0, this, [this] { FollowGeometry(); });
        }
    };
    if (g.Seat)
        g.OnSeatChanged();
    Flush();
}

LayerTicker::~LayerTicker() {
    if (ticker_)
        ticker_->removeEventFilter(this);
    DestroySurface();
    pointer_.reset();
    keyboard_.reset();
    link_->Get().OnSeatChanged = nullptr;
    link_->Get().OnOutputGone = nullptr;
    Flush();
}

QSize LayerTicker::OutputSize() const {
    const Output* output = surface_ && surface_->On ? surface_->On : link_->Get().FirstOutput();
    return output ? output->LogicalSize() : QSize();
}

void LayerTicker::Dispatch() {
    wl_display* display = link_->Get().Display;
    // Reads only what is there: a wake-up without data must not wait on the socket.
    while (wl_display_prepare_read(display) != 0)
        wl_display_dispatch_pending(display);
    if (wl_display_read_events(display) == -1 || wl_display_dispatch_pending(display) == -1) {
        if (!lost_) {
            lost_ = true;
            notifier_->setEnabled(false);
            qCWarning(lcPlatform) << "the connection to the Wayland compositor is lost";
        }
        return;
    }
    if (surface_ && surface_->Closed) {
        // Made again, on an output that is still there, once the compositor has settled.
        DestroySurface();
        QTimer::singleShot(1000, this, [this] { FollowGeometry(); });
        return;
    }
    // A configure or a released buffer may be what a picture was waiting for.
    if (drawScheduled_)
        Draw();
    DrawMenus();
}

void LayerTicker::Flush() {
    if (lost_)
        return;
    wl_display_flush(link_->Get().Display);
}

void LayerTicker::CreateSurface() {
    WaylandLink::Globals& g = link_->Get();
    Output* output = g.FirstOutput();
    if (!output || size_.isEmpty())
        return;
    // A window that is shown comes up in front, even where it does not stay there.
    RaiseForAWhile();
    surface_ = std::make_unique<Surface>();
    surface_->On = output;
    surface_->Handle = wl_compositor_create_surface(g.Compositor);
    surface_->Layer = zwlr_layer_shell_v1_get_layer_surface(g.LayerShell, surface_->Handle,
                                                            output->Handle, Layer(), "kestrel");
    zwlr_layer_surface_v1_add_listener(surface_->Layer, &kLayerListener, surface_.get());
    zwlr_layer_surface_v1_set_anchor(
        surface_->Layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_keyboard_interactivity(surface_->Layer, 0);
    zwlr_layer_surface_v1_set_size(surface_->Layer, static_cast<uint32_t>(size_.width()),
                                   static_cast<uint32_t>(size_.height()));
    zwlr_layer_surface_v1_set_margin(surface_->Layer, 0, margins_.Right, margins_.Bottom, 0);
    // The first commit carries no picture; the picture follows the compositor's configure.
    wl_surface_commit(surface_->Handle);
    drawScheduled_ = true;
    Flush();
}

quint32 LayerTicker::Layer() const {
    // An open menu keeps the ticker in front: keys reach its pop-ups only there.
    return onTop_ || raised_ || !menus_.empty() ? ZWLR_LAYER_SHELL_V1_LAYER_TOP
                                                : ZWLR_LAYER_SHELL_V1_LAYER_BOTTOM;
}

void LayerTicker::ApplyLayer() {
    if (!surface_)
        return;
    if (link_->Get().LayerShellVersion >= 2) {
        zwlr_layer_surface_v1_set_layer(surface_->Layer, Layer());
        wl_surface_commit(surface_->Handle);
        Flush();
    } else {
        // An older compositor keeps a surface on the layer it was made on.
        DestroySurface();
        FollowGeometry();
    }
}

void LayerTicker::RaiseForAWhile() {
    if (onTop_)
        return;
    // Windows of the desktop cover the bottom layer; a ticker that is not always on top comes
    // above them when it is shown or pops up, and goes back once the user has had a look: when
    // the pointer leaves it, or after a while without the pointer on it.
    const bool wasRaised = raised_;
    raised_ = true;
    if (!lowerTimer_) {
        lowerTimer_ = new QTimer(this);
        lowerTimer_->setSingleShot(true);
        lowerTimer_->setInterval(kRaisedMs);
        connect(lowerTimer_, &QTimer::timeout, this, [this] {
            if (!hovered_)
                Lower();
        });
    }
    lowerTimer_->start();
    if (!wasRaised && surface_ && surface_->Configured)
        ApplyLayer();
}

void LayerTicker::Lower() {
    if (!raised_)
        return;
    raised_ = false;
    if (lowerTimer_)
        lowerTimer_->stop();
    ApplyLayer();
}

void LayerTicker::DestroySurface() {
    // The menus' pop-ups go first, as children do; their menus close once this is done.
    for (const auto& menu : menus_) {
        QTimer::singleShot(0, this, [widget = menu->Menu] {
            if (widget)
                widget->close();
        });
    }
    DropMenus(0);
    surface_.reset();
    if (pointer_)
        pointer_->Over = nullptr;
    dragging_ = false;
}

void LayerTicker::FollowGeometry() {
    if (!ticker_ || lost_)
        return;
    const QSize drawn = size_;
    size_ = ticker_->size();
    const QSize output = OutputSize();
    margins_ = MarginsForTopLeft(output, size_, ticker_->pos());
    // The position kept in the settings is where the surface really is. Not at once: the
    // window places itself again for its new size right after a resize.
    if (!output.isEmpty() && TopLeftForMargins(output, size_, margins_) != ticker_->pos()) {
        QTimer::singleShot(0, this, [this] {
            if (!ticker_)
                return;
            const QPoint corner = TopLeftForMargins(OutputSize(), size_, margins_);
            if (corner != ticker_->pos())
                ticker_->move(corner);
        });
    }
    if (!ticker_->isVisible()) {
        DestroySurface();
        return;
    }
    if (!surface_) {
        CreateSurface();
        return;
    }
    zwlr_layer_surface_v1_set_size(surface_->Layer, static_cast<uint32_t>(size_.width()),
                                   static_cast<uint32_t>(size_.height()));
    zwlr_layer_surface_v1_set_margin(surface_->Layer, 0, margins_.Right, margins_.Bottom, 0);
    if (size_ != drawn)
        ScheduleDraw();
    else
        wl_surface_commit(surface_->Handle);
}

void LayerTicker::MoveTo(CornerMargins margins) {
    if (margins == margins_ || !ticker_)
        return;
    margins_ = margins;
    dragMoved_ = true;
    // The widget's position is the one the settings keep; the surface follows it.
    ticker_->move(TopLeftForMargins(OutputSize(), size_, margins_));
}

void LayerTicker::ScheduleDraw() {
    if (drawScheduled_)
        return;
    drawScheduled_ = true;
    QTimer::singleShot(0, this, [this] { Draw(); });
}

void LayerTicker::Draw() {
    drawScheduled_ = false;
    if (!ticker_ || !surface_ || lost_)
        return;
    if (!surface_->Configured) {
        drawScheduled_ = true;  // drawn as the configure comes
        return;
    }
    const int scale = surface_->On ? surface_->On->Scale : 1;
    if (!Present(link_->Get(), surface_->Handle, surface_->Buffers, ticker_, size_, scale,
                 alpha_)) {
        drawScheduled_ = true;  // drawn as a buffer comes back
        return;
    }
    Flush();
}

void LayerTicker::PointerEntered(QPointF at) {
    if (!surface_ || pointer_->Over != surface_->Handle || !ticker_)
        return;
    pointerAt_ = at;
    hovered_ = true;
    QEnterEvent enter(at, at, at);
    QCoreApplication::sendEvent(ticker_, &enter);
}

void LayerTicker::PointerLeft() {
    // A drag ends with the button's release, which the compositor sends before the leave.
    const bool wasHovered = hovered_;
    hovered_ = false;
    if (!ticker_)
        return;
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(ticker_, &leave);
    if (wasHovered)
        Lower();
}

void LayerTicker::PointerMoved(QPointF at) {
    if (!surface_ || !pointer_ || pointer_->Over != surface_->Handle || !ticker_)
        return;
    pointerAt_ = at;
}

void LayerTicker::PointerShifted(QPointF by) {
    if (!dragging_)
        return;
    // Compositors disagree on where surface coordinates count from while a button holds the
    // pointer on a surface that moves; the pointer's own motion is the same everywhere.
    dragShift_ += by;
    MoveTo(DraggedMargins(OutputSize(), size_, pressedMargins_, QPoint(), dragShift_.toPoint()));
}

void LayerTicker::PointerButton(quint32 button, bool pressed) {
    if (!surface_ || !pointer_ || pointer_->Over != surface_->Handle || !ticker_) {
        if (!pressed && button == BTN_LEFT)
            dragging_ = false;
        return;
    }
    // A menu of ours on XWayland sees no click outside it on a Wayland surface, and the
    // compositor counts a press on the surface as one inside a pop-up of ours: a press on the
    // ticker closes the menus, as a click outside a menu does, and does nothing else.
    if (QApplication::activePopupWidget() && pressed) {
        CloseMenus();
        return;
    }
    if (button == BTN_LEFT) {
        if (pressed) {
            dragging_ = true;
            dragMoved_ = false;
            pressedMargins_ = margins_;
            pressedAt_ = pointerAt_;
            dragShift_ = QPointF();
        } else if (dragging_) {
            dragging_ = false;
            // Without the pointer's own motion the surface stays put during the drag, so its
            // coordinates still count from where it was pressed.
            if (!pointer_->Relative) {
                MoveTo(DraggedMargins(OutputSize(), size_, pressedMargins_, pressedAt_.toPoint(),
                                      pointerAt_.toPoint()));
            }
            if (dragMoved_ && OnMoved)
                OnMoved();
        }
    } else if (button == BTN_RIGHT && pressed) {
        // The menu's place is in the desktop's coordinates, which start at the output's corner;
        // panels the compositor keeps free may shift the surface a little from there.
        const QPoint local = pointerAt_.toPoint();
        const QPoint global = SurfaceCorner() + local;
        QContextMenuEvent menu(QContextMenuEvent::Mouse, local, global);
        contextAtPointer_ = true;
        QCoreApplication::sendEvent(ticker_, &menu);
        contextAtPointer_ = false;
    }
}

void LayerTicker::KeepClearOfTicker(QWidget* menu) const {
    if (!surface_ || !surface_->Configured || !ticker_)
        return;
    // Some compositors stack X11 pop-ups below the top layer: a menu must not open under the
    // ticker, so it goes to its left (a sub-menu to the left of its parent), or else above it.
    const QRect ticker(SurfaceCorner(), size_);
    QRect placed = menu->geometry();
    if (!placed.intersects(ticker))
        return;
    const auto* parent = qobject_cast<const QMenu*>(menu->parentWidget());
    const int right = parent && parent->isVisible() ? parent->geometry().left() : ticker.left();
    if (right - placed.width() >= surface_->On->Position.x())
        placed.moveRight(right - 1);
    else
        placed.moveBottom(ticker.top() - 1);
    menu->move(placed.topLeft());
}

QPoint LayerTicker::SurfaceCorner() const {
    // In the desktop's coordinates, which start at the output's corner; panels the compositor
    // keeps free may shift the surface a little from there.
    return surface_->On->Position + TopLeftForMargins(OutputSize(), size_, margins_);
}

LayerTicker::MenuSurface* LayerTicker::MenuOn(const wl_surface* handle) const {
    for (const auto& menu : menus_) {
        if (handle && menu->Handle == handle)
            return menu.get();
    }
    return nullptr;
}

LayerTicker::MenuSurface* LayerTicker::MenuOf(const QWidget* widget) const {
    for (const auto& menu : menus_) {
        if (widget && menu->Menu == widget)
            return menu.get();
    }
    return nullptr;
}

bool LayerTicker::OpenMenu(QWidget* menu) {
    WaylandLink::Globals& g = link_->Get();
    // On XWayland too: an X11 pop-up never learns of a click on a Wayland window, and the
    // compositor may stack it under the ticker.
    if (!g.WmBase || !surface_ || !surface_->Configured || lost_)
        return false;
    CloseMenu(menu);
    // A submenu's pop-up is a child of its parent menu's, which must be the innermost one; any
    // other menu is a child of the surface. What was open past the parent is gone on screen
    // already; Qt hides its menus itself.
    MenuSurface* parent = MenuOf(menu->parentWidget());
    const auto keep = std::find_if(menus_.begin(), menus_.end(),
                                   [parent](const auto& popup) { return popup.get() == parent; });
    DropMenus(keep == menus_.end() ? 0 : static_cast<size_t>(keep - menus_.begin()) + 1);
    // The keyboard first: once the grab has begun the compositor moves it nowhere.
    if (menus_.empty())
        TakeKeyboard(true);

    static const xdg_surface_listener surfaceListener = {
        [](void* data, xdg_surface* xdg, uint32_t serial) {
            auto* popup = static_cast<MenuSurface*>(data);
            xdg_surface_ack_configure(xdg, serial);
            popup->Configured = true;
            popup->Dirty = true;
            // Qt learns where the compositor put it: the pointer's desktop coordinates and a
            // submenu's place count from there.
            const QPoint placed = popup->Origin + popup->Placed;
            if (popup->Menu && popup->Menu->pos() != placed)
                popup->Menu->move(placed);
        },
    };
    static const xdg_popup_listener popupListener = {
        [](void* data, xdg_popup*, int32_t x, int32_t y, int32_t, int32_t) {
            static_cast<MenuSurface*>(data)->Placed = QPoint(x, y);
        },
        [](void* data, xdg_popup*) {
            // A click elsewhere, or the compositor's own reasons: every menu goes.
            LayerTicker* owner = static_cast<MenuSurface*>(data)->Owner;
            QTimer::singleShot(0, owner, [owner] { owner->CloseMenus(); });
        },
        [](void*, xdg_popup*, uint32_t) {},
    };

    const QPoint origin = parent ? parent->Menu->pos() : SurfaceCorner();
    const QSize around = parent ? parent->Menu->size() : size_;
    const QSize size = menu->size().expandedTo(QSize(1, 1));
    const QPoint offset = menu->pos() - origin;
    auto popup = std::make_unique<MenuSurface>();
    popup->Owner = this;
    popup->Menu = menu;
    popup->Origin = origin;
    popup->Placed = offset;
    popup->Handle = wl_compositor_create_surface(g.Compositor);
    popup->Xdg = xdg_wm_base_get_xdg_surface(g.WmBase, popup->Handle);
    xdg_surface_add_listener(popup->Xdg, &surfaceListener, popup.get());
    // Only the compositor knows where the output ends around the surface: it is told where the
    // menu belongs and turns it to the other side, or slides it, where there is no room.
    xdg_positioner* positioner = xdg_wm_base_create_positioner(g.WmBase);
    xdg_positioner_set_size(positioner, size.width(), size.height());
    const auto* submenu = qobject_cast<const QMenu*>(menu);
    const auto* parentMenu = parent ? qobject_cast<const QMenu*>(parent->Menu) : nullptr;
    const QRect item =
        submenu && parentMenu ? parentMenu->actionGeometry(submenu->menuAction()) : QRect();
    if (!item.isEmpty()) {
        // Beside the entry it opens from, its own first entry level with that one.
        const QList<QAction*> entries = submenu->actions();
        const int first = entries.isEmpty() ? 0 : submenu->actionGeometry(entries.first()).top();
        xdg_positioner_set_anchor_rect(positioner, item.x(), item.y(), item.width(), item.height());
        xdg_positioner_set_anchor(positioner, XDG_POSITIONER_ANCHOR_TOP_RIGHT);
        xdg_positioner_set_gravity(positioner, XDG_POSITIONER_GRAVITY_BOTTOM_RIGHT);
        xdg_positioner_set_offset(positioner, 0, -first);
        xdg_positioner_set_constraint_adjustment(positioner,
                                                 XDG_POSITIONER_CONSTRAINT_ADJUSTMENT_FLIP_X |
                                                     XDG_POSITIONER_CONSTRAINT_ADJUSTMENT_SLIDE_Y);
    } else if (!parent && contextAtPointer_) {
        // At the pointer, opening upwards or leftwards where the output ends.
        const QPoint at(std::clamp(qRound(pointerAt_.x()), 0, std::max(0, around.width() - 1)),
                        std::clamp(qRound(pointerAt_.y()), 0, std::max(0, around.height() - 1)));
        xdg_positioner_set_anchor_rect(positioner, at.x(), at.y(), 1, 1);
        xdg_positioner_set_anchor(positioner, XDG_POSITIONER_ANCHOR_TOP_LEFT);
        xdg_positioner_set_gravity(positioner, XDG_POSITIONER_GRAVITY_BOTTOM_RIGHT);
        xdg_positioner_set_constraint_adjustment(positioner,
                                                 XDG_POSITIONER_CONSTRAINT_ADJUSTMENT_FLIP_X |
                                                     XDG_POSITIONER_CONSTRAINT_ADJUSTMENT_FLIP_Y |
                                                     XDG_POSITIONER_CONSTRAINT_ADJUSTMENT_SLIDE_X |
                                                     XDG_POSITIONER_CONSTRAINT_ADJUSTMENT_SLIDE_Y);
    } else {
        // Any other menu (the tray's, say): where Qt put it.
        xdg_positioner_set_anchor_rect(positioner, 0, 0, std::max(1, around.width()),
                                       std::max(1, around.height()));
        xdg_positioner_set_anchor(positioner, XDG_POSITIONER_ANCHOR_TOP_LEFT);
        xdg_positioner_set_gravity(positioner, XDG_POSITIONER_GRAVITY_BOTTOM_RIGHT);
        xdg_positioner_set_offset(positioner, offset.x(), offset.y());
        xdg_positioner_set_constraint_adjustment(positioner,
                                                 XDG_POSITIONER_CONSTRAINT_ADJUSTMENT_SLIDE_X |
                                                     XDG_POSITIONER_CONSTRAINT_ADJUSTMENT_SLIDE_Y);
    }
    popup->Popup = xdg_surface_get_popup(popup->Xdg, parent ? parent->Xdg : nullptr, positioner);
    xdg_positioner_destroy(positioner);
    xdg_popup_add_listener(popup->Popup, &popupListener, popup.get());
    if (!parent)
        zwlr_layer_surface_v1_get_popup(surface_->Layer, popup->Popup);
    // The grab makes the compositor close it on a click elsewhere and send it the keys.
    if (g.Seat)
        xdg_popup_grab(popup->Popup, g.Seat, serial_);
    wl_surface_commit(popup->Handle);
    menus_.push_back(std::move(popup));
    Flush();
    return true;
}

void LayerTicker::CloseMenu(const QWidget* menu) {
    const auto shown = std::find_if(menus_.begin(), menus_.end(),
                                    [menu](const auto& popup) { return popup->Menu == menu; });
    if (!menu || shown == menus_.end())
        return;
    // Its submenus' pop-ups go with it.
    DropMenus(static_cast<size_t>(shown - menus_.begin()));
    if (menus_.empty()) {
        menuButtons_ = {};
        TakeKeyboard(false);
    }
    Flush();
}

void LayerTicker::DropMenus(size_t keep) {
    // The innermost first: a pop-up must not outlive its parent.
    while (menus_.size() > keep) {
        if (pointer_ && pointer_->Over == menus_.back()->Handle)
            pointer_->Over = nullptr;
        menus_.pop_back();
    }
}

void LayerTicker::CloseMenus() {
    // The innermost first, as a click outside them closes them all.
    for (int left = 8; left > 0; --left) {
        QWidget* popup = QApplication::activePopupWidget();
        if (!popup || !popup->close())
            break;
    }
}

void LayerTicker::TakeKeyboard(bool take) {
    if (!surface_ || lost_)
        return;
    // A layer surface gets the keys only with the keyboard asked for, and on the top layer; the
    // grab passes them on to the menu's pop-up. Without the menu the keyboard goes back to
    // where it was.
    zwlr_layer_surface_v1_set_keyboard_interactivity(surface_->Layer, take ? 1 : 0);
    if (link_->Get().LayerShellVersion >= 2)
        zwlr_layer_surface_v1_set_layer(surface_->Layer,
                                        take ? quint32{ZWLR_LAYER_SHELL_V1_LAYER_TOP} : Layer());
    wl_surface_commit(surface_->Handle);
}

void LayerTicker::DrawMenus() {
    menusDrawQueued_ = false;
    if (lost_)
        return;
    const int scale = surface_ && surface_->On ? surface_->On->Scale : 1;
    bool presented = false;
    for (const auto& popup : menus_) {
        if (!popup->Configured || !popup->Dirty || !popup->Menu)
            continue;
        // A picture the compositor still holds both buffers of is drawn as one comes back.
        popup->Dirty = !Present(link_->Get(), popup->Handle, popup->Buffers, popup->Menu,
                                popup->Menu->size(), scale, 255);
        presented = presented || !popup->Dirty;
    }
    if (presented)
        Flush();
}

void LayerTicker::MenuPointer(MenuSurface* menu, QEvent::Type type, Qt::MouseButton button) {
    QWidget* widget = menu->Menu;
    if (!widget)
        return;
    const QPointF local = menu->PointerAt;
    const QPointF global = QPointF(widget->pos()) + local;
    if (type == QEvent::Enter) {
        QEnterEvent enter(local, local, global);
        QCoreApplication::sendEvent(widget, &enter);
        return;
    }
    if (type == QEvent::Leave) {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(widget, &leave);
        return;
    }
    if (type == QEvent::MouseButtonPress)
        menuButtons_ |= button;
    else if (type == QEvent::MouseButtonRelease)
        menuButtons_ &= ~button;
    QMouseEvent mouse(type, local, global, button, menuButtons_, Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &mouse);
}

void LayerTicker::MenuKey(quint32 key) {
    if (menus_.empty())
        return;
    // The keys a menu is worked with; they mean the same on every keyboard layout.
    static const std::pair<quint32, Qt::Key> kKeys[] = {
        {KEY_ESC, Qt::Key_Escape},    {KEY_UP, Qt::Key_Up},       {KEY_DOWN, Qt::Key_Down},
        {KEY_LEFT, Qt::Key_Left},     {KEY_RIGHT, Qt::Key_Right}, {KEY_ENTER, Qt::Key_Return},
        {KEY_KPENTER, Qt::Key_Enter}, {KEY_SPACE, Qt::Key_Space}, {KEY_HOME, Qt::Key_Home},
        {KEY_END, Qt::Key_End},
    };
    const auto known = std::find_if(std::begin(kKeys), std::end(kKeys),
                                    [key](const auto& pair) { return pair.first == key; });
    QWidget* target = QApplication::activePopupWidget();
    if (!MenuOf(target))
        target = menus_.back()->Menu;
    if (known == std::end(kKeys) || !target)
        return;
    QKeyEvent press(QEvent::KeyPress, known->second, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
}

bool LayerTicker::eventFilter(QObject* watched, QEvent* event) {
    if (watched != ticker_ && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        switch (event->type()) {
            case QEvent::Show:
                // Drawn into a pop-up of ours, the menu puts nothing on the screen itself;
                // where none can be made Qt shows it its own way.
                if (OpenMenu(widget)) {
                    widget->setAttribute(Qt::WA_DontShowOnScreen);
                } else {
                    widget->setAttribute(Qt::WA_DontShowOnScreen, false);
                    KeepClearOfTicker(widget);
                }
                break;
            case QEvent::Hide:
                CloseMenu(widget);
                break;
            case QEvent::UpdateRequest:
            case QEvent::UpdateLater:
                if (MenuSurface* popup = MenuOf(widget)) {
                    popup->Dirty = true;
                    // A burst of repaints is drawn once.
                    if (!menusDrawQueued_) {
                        menusDrawQueued_ = true;
                        QTimer::singleShot(0, this, [this] { DrawMenus(); });
                    }
                }
                break;
            default:
                break;
        }
        return QObject::eventFilter(watched, event);
    }
    if (watched == ticker_) {
        switch (event->type()) {
            case QEvent::Show:
            case QEvent::Hide:
            case QEvent::Move:
            case QEvent::Resize:
                FollowGeometry();
                break;
            case QEvent::UpdateRequest:
            case QEvent::UpdateLater:
                ScheduleDraw();
                break;
            default:
                break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void LayerTicker::MakeToolWindow(QWidget* window) {
    if (ticker_) {
        desktop_->MakeToolWindow(window);
        return;
    }
    // Qt keeps the widget shown, laid out and painting, but puts nothing on the screen: the
    // surface shows its picture instead.
    ticker_ = window;
    window->setAttribute(Qt::WA_DontShowOnScreen);
    window->installEventFilter(this);
    for (QMenu* menu : window->findChildren<QMenu*>())
        menu->installEventFilter(this);
    onTop_ = window->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
}

void LayerTicker::HideFromTaskbar(QWidget* window) {
    if (!IsTicker(window))
        desktop_->HideFromTaskbar(window);
}

void LayerTicker::SetStaysOnTop(QWidget* window, bool onTop) {
    if (!IsTicker(window)) {
        desktop_->SetStaysOnTop(window, onTop);
        return;
    }
    if (onTop_ == onTop)
        return;
    onTop_ = onTop;
    // Switched off from the menu, the ticker stays in front until the user looks away.
    if (onTop)
        raised_ = false;
    else
        RaiseForAWhile();
    ApplyLayer();
}

void LayerTicker::SetOpacity(QWidget* window, int alpha) {
    if (!IsTicker(window)) {
        desktop_->SetOpacity(window, alpha);
        return;
    }
    const int clamped = std::clamp(alpha, 0, 255);
    if (clamped == alpha_)
        return;
    alpha_ = clamped;
    ScheduleDraw();
}

int LayerTicker::Opacity(const QWidget* window) const {
    return IsTicker(window) ? alpha_ : desktop_->Opacity(window);
}

void LayerTicker::StartMove(QWidget* window) {
    // The surface's own pointer drags the ticker; no press reaches the hidden widget.
    if (!IsTicker(window))
        desktop_->StartMove(window);
}

QRect LayerTicker::TaskbarRect(const QScreen*) const {
    // The compositor keeps a layer surface clear of the panels' zones by itself.
    return QRect();
}

QRect LayerTicker::ScreenRect(const QScreen* screen) const {
    const QSize output = OutputSize();
    return output.isEmpty() ? desktop_->ScreenRect(screen) : QRect(QPoint(), output);
}

void LayerTicker::ActivateForeground(QWidget* window) {
    if (!IsTicker(window)) {
        desktop_->ActivateForeground(window);
        return;
    }
    window->show();
    RaiseForAWhile();
}

void LayerTicker::BringToFront(QWidget* window) {
    if (!IsTicker(window)) {
        desktop_->BringToFront(window);
        return;
    }
    window->show();
    RaiseForAWhile();
}

bool LayerTicker::IsForeground(const QWidget* window) const {
    // Nothing covers a surface on the top layer.
    return IsTicker(window) ? window->isVisible() && (onTop_ || raised_)
                            : desktop_->IsForeground(window);
}

void LayerTicker::OpenURL(const QString& url) {
    desktop_->OpenURL(url);
}

QMargins LayerTicker::FrameMargins(const QWidget* window) const {
    return IsTicker(window) ? QMargins() : desktop_->FrameMargins(window);
}

bool LayerTicker::IsCovered(const QWidget* window) const {
    if (!IsTicker(window))
        return desktop_->IsCovered(window);
    // The compositor does not say what lies above a layer surface, and on the bottom layer any
    // window may: only one that has come up in front lately, or stays there, is surely seen.
    return window->isVisible() && !onTop_ && !raised_;
}

}  // namespace kestrel
