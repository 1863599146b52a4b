#include "realx/WindowEvents.h"

#include <QElapsedTimer>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <poll.h>
#include <vector>
#include <xcb/xcb.h>

namespace orvreal {

namespace {

struct Tracked {
    xcb_window_t id = 0;
    qint64 pid = 0; // 0 while unknown
    bool gone = false;
    bool mapped = false;
    bool everMapped = false;
    bool leader = false; // the toolkit's client leader: never shown, there as long as the program
};

template <class T> struct Freed {
    T* p;
    ~Freed() { std::free(p); }
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

} // namespace

struct WindowEvents::State {
    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;
    std::uint32_t idMask = 0;
    xcb_atom_t pidAtom = 0, leaderAtom = 0, netNameAtom = 0, utf8Atom = 0;
    qint64 pid = 0;
    // Every window created on the root that is not a menu or a tip, in the order of creation.
    std::vector<Tracked> windows;
    qint64 lastChangeAt = -1, mainMappedAt = -1;

    xcb_atom_t atom(const char* name) const
    {
        const Freed<xcb_intern_atom_reply_t> r{
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name), nullptr)};
        return r ? r->atom : 0;
    }

    Tracked* find(xcb_window_t id)
    {
        for (Tracked& t : windows)
            if (t.id == id)
                return &t;
        return nullptr;
    }

    // The program's windows share the resource base of its connection with the first window
    // known to be its own by its process id, whose id then tells the others apart even when they
    // are gone before anything of them can be read.
    std::optional<std::uint32_t> programBase() const
    {
        for (const Tracked& t : windows)
            if (pid != 0 && t.pid == pid)
                return t.id & ~idMask;
        return std::nullopt;
    }
    bool ours(const Tracked& t) const
    {
        const auto base = programBase();
        return base && (t.id & ~idMask) == *base;
    }

    // The index of the main window among windows (the program's first one mapped), or -1.
    int mainIndex() const
    {
        for (std::size_t i = 0; i < windows.size(); ++i)
            if (windows[i].everMapped && ours(windows[i]))
                return int(i);
        return -1;
    }

    void created(xcb_window_t id)
    {
        if (find(id))
            return;
        // Told of its own changes first, then read: nothing falls between.
        const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(c, id, XCB_CW_EVENT_MASK, &mask);
        Tracked t;
        t.id = id;
        const Freed<xcb_get_window_attributes_reply_t> a{
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, id), nullptr)};
        if (!a) {
            t.gone = true;
        } else {
            t.mapped = t.everMapped = a->map_state != XCB_MAP_STATE_UNMAPPED;
            t.pid = readPid(id);
            t.leader = readLeader(id) == id;
        }
        windows.push_back(t);
        if (t.mapped)
            changed(windows.back());
    }

    xcb_window_t readLeader(xcb_window_t id) const
    {
        const Freed<xcb_get_property_reply_t> r{
            xcb_get_property_reply(c, xcb_get_property(c, 0, id, leaderAtom, XCB_ATOM_WINDOW, 0, 1), nullptr)};
        if (!r || xcb_get_property_value_length(r.p) < 4)
            return 0;
        return *static_cast<const xcb_window_t*>(xcb_get_property_value(r.p));
    }

    qint64 readPid(xcb_window_t id) const
    {
        const Freed<xcb_get_property_reply_t> r{
            xcb_get_property_reply(c, xcb_get_property(c, 0, id, pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr)};
        if (!r || xcb_get_property_value_length(r.p) < 4)
            return 0;
        return *static_cast<const std::uint32_t*>(xcb_get_property_value(r.p));
    }

    // A window mapped, unmapped or gone: when, if it is one of the program's.
    void changed(const Tracked& t)
    {
        if (!ours(t))
            return;
        QElapsedTimer now;
        now.start();
        lastChangeAt = now.msecsSinceReference();
        if (mainMappedAt < 0 && mainIndex() >= 0)
            mainMappedAt = lastChangeAt;
    }

    void handle(xcb_generic_event_t* e)
    {
        switch (e->response_type & 0x7f) {
        case XCB_CREATE_NOTIFY: {
            const auto* ev = reinterpret_cast<xcb_create_notify_event_t*>(e);
            if (ev->parent == root && !ev->override_redirect)
                created(ev->window);
            break;
        }
        case XCB_MAP_NOTIFY:
            if (Tracked* t = find(reinterpret_cast<xcb_map_notify_event_t*>(e)->window); t && !t->mapped) {
                t->mapped = t->everMapped = true;
                changed(*t);
            }
            break;
        case XCB_UNMAP_NOTIFY:
            if (Tracked* t = find(reinterpret_cast<xcb_unmap_notify_event_t*>(e)->window); t && t->mapped) {
                t->mapped = false;
                changed(*t);
            }
            break;
        case XCB_DESTROY_NOTIFY:
            if (Tracked* t = find(reinterpret_cast<xcb_destroy_notify_event_t*>(e)->window); t && !t->gone) {
                t->gone = true;
                t->mapped = false;
                changed(*t);
            }
            break;
        case XCB_PROPERTY_NOTIFY: {
            const auto* ev = reinterpret_cast<xcb_property_notify_event_t*>(e);
            Tracked* t = find(ev->window);
            if (t && ev->atom == pidAtom && !t->pid)
                t->pid = readPid(t->id);
            if (t && ev->atom == leaderAtom)
                t->leader = readLeader(t->id) == t->id;
            break;
        }
        default: break;
        }
    }
};

WindowEvents::WindowEvents(const QString& display) : s_(std::make_unique<State>())
{
    int screenNumber = 0;
    s_->c = xcb_connect(display.toLocal8Bit().constData(), &screenNumber);
    if (xcb_connection_has_error(s_->c))
        return;
    const xcb_setup_t* setup = xcb_get_setup(s_->c);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    s_->root = it.data->root;
    s_->idMask = setup->resource_id_mask;
    s_->pidAtom = s_->atom("_NET_WM_PID");
    s_->leaderAtom = s_->atom("WM_CLIENT_LEADER");
    s_->netNameAtom = s_->atom("_NET_WM_NAME");
    s_->utf8Atom = s_->atom("UTF8_STRING");
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(s_->c, s_->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(s_->c);
}

WindowEvents::~WindowEvents()
{
    if (s_->c)
        xcb_disconnect(s_->c);
}

bool WindowEvents::connected() const { return s_->c && !xcb_connection_has_error(s_->c); }

void WindowEvents::setProgram(qint64 pid) { s_->pid = pid; }

void WindowEvents::handle(int ms)
{
    if (!connected())
        return;
    pollfd fd{xcb_get_file_descriptor(s_->c), POLLIN, 0};
    bool first = true;
    for (;;) {
        xcb_generic_event_t* e = xcb_poll_for_event(s_->c);
        if (!e) {
            if (!first || ::poll(&fd, 1, ms) <= 0)
                break;
            first = false;
            continue;
        }
        first = false;
        s_->handle(e);
        std::free(e);
    }
    // A main window met before the program's process id was known counts from now.
    if (const int main = s_->mainIndex(); main >= 0 && s_->mainMappedAt < 0)
        s_->changed(s_->windows[std::size_t(main)]);
}

QString WindowEvents::mainWindow() const
{
    const int i = s_->mainIndex();
    return i < 0 ? QString() : QString::number(s_->windows[std::size_t(i)].id);
}

QString WindowEvents::mainTitle() const
{
    const int i = s_->mainIndex();
    if (i < 0)
        return {};
    const Freed<xcb_get_property_reply_t> r{xcb_get_property_reply(
        s_->c, xcb_get_property(s_->c, 0, s_->windows[std::size_t(i)].id, s_->netNameAtom, s_->utf8Atom, 0, 4096),
        nullptr)};
    if (!r)
        return {};
    return QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(r.p)), xcb_get_property_value_length(r.p));
}

bool WindowEvents::mainFocused() const
{
    const int i = s_->mainIndex();
    if (i < 0)
        return false;
    const Freed<xcb_get_input_focus_reply_t> focus{
        xcb_get_input_focus_reply(s_->c, xcb_get_input_focus(s_->c), nullptr)};
    if (!focus)
        return false;
    // The focus window or one of its ancestors (a window manager's frame holds the client).
    for (xcb_window_t w = focus->focus; w != XCB_NONE && w != s_->root;) {
        if (w == s_->windows[std::size_t(i)].id)
            return true;
        const Freed<xcb_query_tree_reply_t> tree{xcb_query_tree_reply(s_->c, xcb_query_tree(s_->c, w), nullptr)};
        if (!tree)
            return false;
        w = tree->parent;
    }
    return false;
}

int WindowEvents::dialogsCreated() const
{
    const int main = s_->mainIndex();
    int n = 0;
    for (std::size_t i = std::size_t(main) + 1; main >= 0 && i < s_->windows.size(); ++i)
        n += s_->ours(s_->windows[i]) && !s_->windows[i].leader;
    return n;
}

int WindowEvents::dialogsThere() const
{
    const int main = s_->mainIndex();
    int n = 0;
    for (std::size_t i = std::size_t(main) + 1; main >= 0 && i < s_->windows.size(); ++i)
        n += s_->ours(s_->windows[i]) && !s_->windows[i].leader && !s_->windows[i].gone;
    return n;
}

qint64 WindowEvents::lastChangeAt() const { return s_->lastChangeAt; }
qint64 WindowEvents::mainMappedAt() const { return s_->mainMappedAt; }

} // namespace orvreal
