// The ticker on a Wayland compositor that offers layer surfaces: a surface of our own, on a
// connection of our own beside Qt's, anchored at the output's bottom-right corner, never
// focused and in no task list. The ticker widget stays the one place that draws; its picture
// is copied into the surface whenever it repaints.
#pragma once

#include <QEvent>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QSize>
#include <functional>
#include <memory>
#include <vector>

#include "platform/sessionkind.h"
#include "platform/windowservices.h"

class QSocketNotifier;
struct wl_surface;
class QTimer;

namespace kestrel {

// A connection to the compositor named by WAYLAND_DISPLAY and the globals it offers.
class WaylandLink {
public:
    // Connects and learns the globals, waiting at most timeoutMs for the compositor's answer;
    // nullptr without WAYLAND_DISPLAY, or when the compositor cannot be reached or is silent.
    static std::unique_ptr<WaylandLink> Open(int timeoutMs);
    ~WaylandLink();
    WaylandLink(const WaylandLink&) = delete;
    WaylandLink& operator=(const WaylandLink&) = delete;

    bool HasLayerShell() const;

    struct Globals;
    Globals& Get() const { return *globals_; }

private:
    WaylandLink();
    std::unique_ptr<Globals> globals_;
};

// True when DISPLAY names a local X server that accepts a connection. A remote display is not
// tried: its connection could hang the start.
bool LocalXServerReachable();

// The window services of a ticker drawn into a layer surface. The window made a tool window
// first (the ticker) is drawn into the surface and never shown on screen itself; every other
// window goes to the desktop's own services. The ticker's menus are drawn the same way, into
// pop-ups of the surface: Qt cannot make a pop-up of a surface it does not own.
class LayerTicker : public QObject, public IWindowServices {
public:
    // Needs a running QCoreApplication; link must offer the layer shell.
    LayerTicker(std::unique_ptr<WaylandLink> link, IWindowServices* desktop);
    ~LayerTicker() override;

    // The user has dropped the ticker somewhere else: the new position is to be kept.
    std::function<void()> OnMoved;

    void MakeToolWindow(QWidget* window) override;
    void HideFromTaskbar(QWidget* window) override;
    void SetStaysOnTop(QWidget* window, bool onTop) override;
    void SetOpacity(QWidget* window, int alpha) override;
    int Opacity(const QWidget* window) const override;
    void StartMove(QWidget* window) override;
    QRect TaskbarRect(const QScreen* screen) const override;
    QRect ScreenRect(const QScreen* screen) const override;
    void ActivateForeground(QWidget* window) override;
    void BringToFront(QWidget* window) override;
    bool IsForeground(const QWidget* window) const override;
    void OpenURL(const QString& url) override;
    QMargins FrameMargins(const QWidget* window) const override;
    bool IsCovered(const QWidget* window) const override;

    struct Surface;
    struct Pointer;
    struct MenuSurface;
    struct Keyboard;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool IsTicker(const QWidget* window) const { return window && window == ticker_; }
    QSize OutputSize() const;
    void Dispatch();
    void Flush();
    void CreateSurface();
    void DestroySurface();
    void FollowGeometry();
    quint32 Layer() const;
    void ApplyLayer();
    void RaiseForAWhile();
    void Lower();
    void MoveTo(CornerMargins margins);
    void KeepClearOfTicker(QWidget* menu) const;
    void Draw();
    void ScheduleDraw();
    QPoint SurfaceCorner() const;

    bool OpenMenu(QWidget* menu);
    void CloseMenu(const QWidget* menu);
    void CloseMenus();
    void DropMenus(size_t keep);
    void TakeKeyboard(bool take);
    MenuSurface* MenuOn(const wl_surface* handle) const;
    MenuSurface* MenuOf(const QWidget* menu) const;
    void DrawMenus();
    void MenuPointer(MenuSurface* menu, QEvent::Type type, Qt::MouseButton button);
    void MenuKey(quint32 key);

    void PointerEntered(QPointF at);
    void PointerLeft();
    void PointerMoved(QPointF at);
    void PointerShifted(QPointF by);
    void PointerButton(quint32 button, bool pressed);

    std::unique_ptr<WaylandLink> link_;
    IWindowServices* desktop_;
    QSocketNotifier* notifier_ = nullptr;
    QPointer<QWidget> ticker_;
    std::unique_ptr<Surface> surface_;
    std::unique_ptr<Pointer> pointer_;
    CornerMargins margins_;
    QSize size_;
    bool onTop_ = false;
    bool raised_ = false;  // in front for a while although not always on top
    bool hovered_ = false;
    QTimer* lowerTimer_ = nullptr;
    static constexpr int kRaisedMs = 10000;
    int alpha_ = 255;
    bool drawScheduled_ = false;
    bool lost_ = false;
    // A drag by the left button: where it started, in output coordinates, and from which margins.
    bool dragging_ = false;
    bool dragMoved_ = false;
    QPointF pressedAt_;  // surface coordinates of the press
    CornerMargins pressedMargins_;
    QPointF dragShift_;  // the pointer's own motion since the press
    QPointF pointerAt_;  // surface coordinates
    // The menus shown in pop-ups, the first one's parent the surface, each next one's the one
    // before it.
    std::vector<std::unique_ptr<MenuSurface>> menus_;
    bool menusDrawQueued_ = false;  // a drawing of the dirty menus waits in the event loop
    std::unique_ptr<Keyboard> keyboard_;
    Qt::MouseButtons menuButtons_;
    quint32 serial_ = 0;             // of the last input event, which a pop-up's grab names
    bool contextAtPointer_ = false;  // a menu shown now opens from a press on the surface
};

}  // namespace kestrel
