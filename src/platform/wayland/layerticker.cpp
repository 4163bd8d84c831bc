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
#include <QMenu>
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
                    self->pointer_->Over = surface;
                    if (self->pointer_->Cursor)
                        wl_pointer_set_cursor(pointer, serial, self->pointer_->Cursor, 0, 0);
                    self->PointerEntered(QPointF(wl_fixed_to_double(x), wl_fixed_to_double(y)));
                },
                [](void* data, wl_pointer*, uint32_t, wl_surface*) {
                    auto* self = static_cast<LayerTicker*>(data);
                    self->pointer_->Over = nullptr;
                    self->PointerLeft();
                },
                [](void* data, wl_pointer*, uint32_t, wl_fixed_t x, wl_fixed_t y) {
                    static_cast<LayerTicker*>(data)->PointerMoved(
                        QPointF(wl_fixed_to_double(x), wl_fixed_to_double(y)));
                },
                [](void* data, wl_pointer*, uint32_t, uint32_t, uint32_t button, uint32_t state) {
                    static_cast<LayerTicker*>(data)->PointerButton(
                        button, state == WL_POINTER_BUTTON_STATE_PRESSED);
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
    return onTop_ || raised_ ? ZWLR_LAYER_SHELL_V1_LAYER_TOP : ZWLR_LAYER_SHELL_V1_LAYER_BOTTOM;
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
    const QSize pixels = size_ * scale;
    ShmBuffer* free = nullptr;
    for (auto& buffer : surface_->Buffers) {
        if (buffer && buffer->Pixels != pixels && !buffer->Busy)
            buffer.reset();
        if (!buffer)
            buffer = CreateBuffer(link_->Get().Shm, pixels);
        if (buffer && !buffer->Busy && buffer->Pixels == pixels) {
            free = buffer.get();
            break;
        }
    }
    if (!free) {
        drawScheduled_ = true;  // drawn as a buffer comes back
        return;
    }
    // The buffer's bytes are the compositor's ARGB8888: premultiplied, native byte order.
    QImage picture(static_cast<uchar*>(free->Memory), pixels.width(), pixels.height(),
                   pixels.width() * 4, QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(scale);
    picture.fill(Qt::transparent);
    ticker_->render(&picture);
    if (alpha_ < 255) {
        QPainter fade(&picture);
        fade.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        fade.fillRect(QRect(QPoint(), size_), QColor(0, 0, 0, alpha_));
    }
    wl_surface* handle = surface_->Handle;
    if (link_->Get().CompositorVersion >= 3)
        wl_surface_set_buffer_scale(handle, scale);
    wl_surface_attach(handle, free->Handle, 0, 0);
    wl_surface_damage(handle, 0, 0, size_.width(), size_.height());
    wl_surface_commit(handle);
    free->Busy = true;
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
    // A menu of ours on XWayland sees no click outside it on a Wayland surface: a press on the
    // ticker closes it, as a click outside a menu does, and does nothing else.
    if (QWidget* popup = QApplication::activePopupWidget(); popup && pressed) {
        popup->close();
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
        const QPoint global =
            surface_->On->Position + TopLeftForMargins(OutputSize(), size_, margins_) + local;
        QContextMenuEvent menu(QContextMenuEvent::Mouse, local, global);
        QCoreApplication::sendEvent(ticker_, &menu);
    }
}

void LayerTicker::KeepClearOfTicker(QWidget* menu) const {
    if (!surface_ || !surface_->Configured || !ticker_)
        return;
    // Some compositors stack X11 pop-ups below the top layer: a menu must not open under the
    // ticker, so it goes to its left (a sub-menu to the left of its parent), or else above it.
    const QRect ticker(surface_->On->Position + TopLeftForMargins(OutputSize(), size_, margins_),
                       size_);
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

bool LayerTicker::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Show && watched != ticker_ && watched->isWidgetType()) {
        KeepClearOfTicker(static_cast<QWidget*>(watched));
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
    // The compositor does not say what lies above a layer surface.
    return !IsTicker(window) && desktop_->IsCovered(window);
}

}  // namespace kestrel
