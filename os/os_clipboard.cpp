// The clipboard as the X CLIPBOARD selection: a hidden window of the layer owns
// what the program copies and answers requests for it; reads convert the owner's
// targets into heap copies. Large data moves through INCR both ways.
//
// Index
//   state and atoms      the hidden window, what it offers, transfers in flight
//   serving              SelectionRequest, TARGETS, INCR sends, SelectionClear
//   waiting              the bounded wait for the owner, pumping only our events
//   reading              converting a target, INCR receives, the target list
//   formats              os_clipboard_print_formats, os_clipboard_list_formats
//   typed reads          text, file name, PNG, BMP
//   writing              taking ownership, text, images, snapshots
//   image files          PNG and BMP encoders for snapshots
//   handing over         SAVE_TARGETS to a clipboard manager at exit

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdlib.h>
#include <string.h>

#include "os/os_private.h"

enum : int32_t {
    // How long a read waits for the owner (and for each INCR piece) before giving up.
    clipboard_wait_milliseconds = 1000,
    // An INCR send whose requestor takes no piece for this long is dropped with
    // its copy of the data; a live reader takes each piece in milliseconds.
    clipboard_transfer_timeout_milliseconds = 10000,
    // A clipboard manager may ask for every target before it answers SAVE_TARGETS.
    clipboard_handover_milliseconds = 2000,
};

enum : uint64_t {
    // Above this, data goes in INCR pieces of this size, or smaller when the
    // server's request limit is lower.
    clipboard_piece_bytes = 256 * 1024,
    // Room for the ChangeProperty request's own header and more.
    clipboard_request_header_bytes = 64,
    bmp_file_header_bytes = 14,
    bmp_info_header_bytes = 40,
    bmp_v5_header_bytes = 124,
};

static os_clipboard_state& clip = os_platform.clipboard;

// ---------------------------------------------------------------------------
// State and atoms

static bool clipboard_ready(void) {
    Display* display = os_x11_display();
    if (!display) return false;
    if (clip.window) return true;
    clip.display = display;
    os_clipboard_atoms* a = &clip.atoms;
    a->clipboard = XInternAtom(display, "CLIPBOARD", False);
    a->targets = XInternAtom(display, "TARGETS", False);
    a->timestamp = XInternAtom(display, "TIMESTAMP", False);
    a->multiple = XInternAtom(display, "MULTIPLE", False);
    a->atom_pair = XInternAtom(display, "ATOM_PAIR", False);
    a->incr = XInternAtom(display, "INCR", False);
    a->save_targets = XInternAtom(display, "SAVE_TARGETS", False);
    a->clipboard_manager = XInternAtom(display, "CLIPBOARD_MANAGER", False);
    a->utf8_string = XInternAtom(display, "UTF8_STRING", False);
    a->text = XInternAtom(display, "TEXT", False);
    a->text_plain_utf8 = XInternAtom(display, "text/plain;charset=utf-8", False);
    a->image_png = XInternAtom(display, "image/png", False);
    a->image_bmp = XInternAtom(display, "image/bmp", False);
    a->uri_list = XInternAtom(display, "text/uri-list", False);
    a->transfer_property = XInternAtom(display, "BITLORN_CLIPBOARD", False);
    XSetWindowAttributes attributes;
    memset(&attributes, 0, sizeof attributes);
    attributes.event_mask = PropertyChangeMask;
    clip.window = XCreateWindow(display, DefaultRootWindow(display), -10, -10, 1, 1, 0, 0, InputOnly,
                                CopyFromParent, CWEventMask, &attributes);
    return clip.window != 0;
}

static void drop_offers(void) {
    for (uint32_t i = 0; i < clip.offer_count; i += 1) os_free(clip.offers[i].bytes);
    memset(clip.offers, 0, sizeof clip.offers);
    clip.offer_count = 0;
}

static const os_clipboard_offer* find_offer(Atom target) {
    for (uint32_t i = 0; i < clip.offer_count; i += 1) {
        if (clip.offers[i].target == target) return &clip.offers[i];
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// Serving

// The largest piece one request can carry: a server without BIG-REQUESTS takes
// requests of at most 256 KiB, header included.
static uint64_t piece_bytes(void) {
    long units = XExtendedMaxRequestSize(clip.display);
    if (units <= 0) units = XMaxRequestSize(clip.display);
    uint64_t limit = (uint64_t)units * 4;
    if (limit <= clipboard_request_header_bytes * 2) return clipboard_request_header_bytes;
    limit -= clipboard_request_header_bytes;
    return limit < clipboard_piece_bytes ? limit : clipboard_piece_bytes;
}

static os_clipboard_transfer* free_transfer_slot(void) {
    for (os_clipboard_transfer& t : clip.transfers) {
        if (!t.requestor) return &t;
    }
    return nullptr;
}

static const os_clipboard_transfer* transfer_to(Window requestor) {
    if (!requestor) return nullptr;
    for (const os_clipboard_transfer& t : clip.transfers) {
        if (t.requestor == requestor) return &t;
    }
    return nullptr;
}

// The events we take from the requestor now: any client may name one of our
// own windows, whose mask must survive the send.
static long mask_before_transfer(Window requestor) {
    if (const os_clipboard_transfer* other = transfer_to(requestor)) return other->saved_mask;
    XWindowAttributes attributes;
    os_x11_begin_error_trap();
    Status read = XGetWindowAttributes(clip.display, requestor, &attributes);
    bool failed = os_x11_end_error_trap(clip.display) != 0;
    return read && !failed ? attributes.your_event_mask : NoEventMask;
}

// Ends one send; the requestor's events stop only when no other send to the same
// window is still going (a MULTIPLE request starts several).
static void end_transfer(os_clipboard_transfer* transfer, bool requestor_alive) {
    Window requestor = transfer->requestor;
    long saved_mask = transfer->saved_mask;
    os_free(transfer->bytes);
    memset(transfer, 0, sizeof *transfer);
    if (requestor_alive && requestor && !transfer_to(requestor)) {
        os_x11_begin_error_trap();
        XSelectInput(clip.display, requestor, saved_mask);
        os_x11_end_error_trap(clip.display);
    }
}

void os_x11_clipboard_expire_transfers(void) {
    if (!clip.window) return;
    uint64_t now = os_now_milliseconds();
    for (os_clipboard_transfer& t : clip.transfers) {
        if (t.requestor && now - t.last_activity_ms > clipboard_transfer_timeout_milliseconds) end_transfer(&t, true);
    }
}

// Puts one target into the requestor's property; false when it is not offered.
static bool answer_target(Window requestor, Atom property, Atom target) {
    Display* display = clip.display;
    os_clipboard_atoms* a = &clip.atoms;
    if (target == a->targets) {
        Atom list[os_clipboard_max_offers + 3];
        int count = 0;
        list[count++] = a->targets;
        list[count++] = a->timestamp;
        list[count++] = a->save_targets;
        for (uint32_t i = 0; i < clip.offer_count; i += 1) list[count++] = clip.offers[i].target;
        XChangeProperty(display, requestor, property, XA_ATOM, 32, PropModeReplace, (unsigned char*)list, count);
        return true;
    }
    if (target == a->timestamp) {
        long time = (long)clip.owned_since;
        XChangeProperty(display, requestor, property, XA_INTEGER, 32, PropModeReplace, (unsigned char*)&time, 1);
        return true;
    }
    if (target == a->save_targets) {
        // Answered empty: the manager reads the real targets itself.
        XChangeProperty(display, requestor, property, XInternAtom(display, "NULL", False), 32, PropModeReplace,
                        nullptr, 0);
        return true;
    }
    const os_clipboard_offer* offer = find_offer(target);
    if (!offer) return false;
    if (offer->length <= piece_bytes()) {
        XChangeProperty(display, requestor, property, target, 8, PropModeReplace, offer->bytes, (int)offer->length);
        return true;
    }
    os_x11_clipboard_expire_transfers();
    os_clipboard_transfer* transfer = free_transfer_slot();
    uint8_t* copy = transfer ? (uint8_t*)os_alloc(offer->length) : nullptr;
    if (!copy) return false;
    memcpy(copy, offer->bytes, offer->length);
    long saved_mask = mask_before_transfer(requestor);
    *transfer = {requestor, property, target, copy, offer->length, 0, os_now_milliseconds(), saved_mask};
    // The requestor's deletions of the property pace the pieces; its end frees
    // the slot.
    XSelectInput(display, requestor, saved_mask | PropertyChangeMask | StructureNotifyMask);
    long size = offer->length > 0x7fffffff ? 0x7fffffff : (long)offer->length;
    XChangeProperty(display, requestor, property, a->incr, 32, PropModeReplace, (unsigned char*)&size, 1);
    return true;
}

static void answer_multiple(Window requestor, Atom property) {
    unsigned long items = 0;
    Atom* pairs = (Atom*)os_x11_read_property(clip.display, requestor, property, clip.atoms.atom_pair, 32, 1 << 16,
                                              &items);
    if (!pairs) return;
    for (unsigned long i = 0; i + 1 < items; i += 2) {
        if (!answer_target(requestor, pairs[i + 1], pairs[i])) pairs[i + 1] = None;
    }
    XChangeProperty(clip.display, requestor, property, clip.atoms.atom_pair, 32, PropModeReplace,
                    (unsigned char*)pairs, (int)items);
    XFree(pairs);
}

static void handle_selection_request(const XSelectionRequestEvent* request) {
    XSelectionEvent reply;
    memset(&reply, 0, sizeof reply);
    reply.type = SelectionNotify;
    reply.display = request->display;
    reply.requestor = request->requestor;
    reply.selection = request->selection;
    reply.target = request->target;
    reply.time = request->time;
    // Obsolete clients name no property: the target's name is used instead.
    Atom property = request->property ? request->property : request->target;
    bool ours = clip.owned && request->selection == clip.atoms.clipboard;
    bool answered = false;
    if (ours && request->target == clip.atoms.multiple) {
        answer_multiple(request->requestor, property);
        answered = true;
    } else if (ours) {
        answered = answer_target(request->requestor, property, request->target);
    }
    reply.property = answered ? property : None;
    // A requestor that vanished meanwhile must not end the program.
    os_x11_begin_error_trap();
    XSendEvent(clip.display, request->requestor, False, NoEventMask, (XEvent*)&reply);
    os_x11_end_error_trap(clip.display);
}

// The requestor took the last piece: send the next, and after the data an empty
// piece that ends the transfer.
static bool handle_transfer_progress(const XPropertyEvent* property) {
    if (property->state != PropertyDelete) return false;
    for (os_clipboard_transfer& t : clip.transfers) {
        if (!t.requestor || t.requestor != property->window || t.property != property->atom) continue;
        uint64_t left = t.length - t.sent;
        uint64_t most = piece_bytes();
        uint64_t piece = left < most ? left : most;
        // The requestor may vanish between two pieces.
        os_x11_begin_error_trap();
        XChangeProperty(clip.display, t.requestor, t.property, t.target, 8, PropModeReplace, t.bytes + t.sent,
                        (int)piece);
        bool failed = os_x11_end_error_trap(clip.display) != 0;
        t.sent += piece;
        t.last_activity_ms = os_now_milliseconds();
        if (piece == 0 || failed) end_transfer(&t, !failed);
        return true;
    }
    return false;
}

uint8_t os_x11_clipboard_handle_event(XEvent* event) {
    if (!clip.window) return 0;
    switch (event->type) {
    case SelectionRequest:
        if (event->xselectionrequest.owner != clip.window) return 0;
        handle_selection_request(&event->xselectionrequest);
        return 1;
    case SelectionClear:
        if (event->xselectionclear.window != clip.window) return 0;
        if (event->xselectionclear.selection == clip.atoms.clipboard) {
            clip.owned = 0;
            drop_offers();
        }
        return 1;
    case PropertyNotify:
        if (event->xproperty.window == clip.window) return 1;
        return handle_transfer_progress(&event->xproperty) ? 1 : 0;
    case SelectionNotify: return event->xselection.requestor == clip.window ? 1 : 0;
    case DestroyNotify:
        for (os_clipboard_transfer& t : clip.transfers) {
            if (t.requestor && t.requestor == event->xdestroywindow.window) end_transfer(&t, false);
        }
        // One of our own windows may have been the requestor: the window layer must see its end too.
        return 0;
    default: return 0;
    }
}

// ---------------------------------------------------------------------------
// Waiting

struct clipboard_wait {
    int type;  // SelectionNotify or PropertyNotify on our window
    Atom atom; // the selection or the property
    XEvent found;
};

static Bool is_clipboard_event(Display*, XEvent* event, XPointer) {
    switch (event->type) {
    case SelectionRequest: return event->xselectionrequest.owner == clip.window;
    case SelectionClear: return event->xselectionclear.window == clip.window;
    case SelectionNotify: return event->xselection.requestor == clip.window;
    case PropertyNotify:
        if (event->xproperty.window == clip.window) return True;
        return transfer_to(event->xproperty.window) != nullptr;
    case DestroyNotify: return event->xdestroywindow.window && transfer_to(event->xdestroywindow.window);
    default: return False;
    }
}

// Serves our own requests and waits for the event wanted, taking only clipboard
// events from the queue so the windows' events stay for the message pump. False
// after the timeout.
static bool wait_for(clipboard_wait* wait, int32_t milliseconds) {
    Display* display = clip.display;
    uint64_t deadline = os_now_milliseconds() + (uint64_t)milliseconds;
    for (;;) {
        XEvent event;
        while (XCheckIfEvent(display, &event, is_clipboard_event, nullptr)) {
            bool wanted = event.type == wait->type && event.xany.window == clip.window &&
                          (event.type == SelectionNotify ? event.xselection.selection == wait->atom
                                                         : event.xproperty.atom == wait->atom &&
                                                               event.xproperty.state == PropertyNewValue);
            if (wanted) {
                wait->found = event;
                return true;
            }
            os_x11_clipboard_handle_event(&event);
        }
        uint64_t now = os_now_milliseconds();
        if (now >= deadline) return false;
        if (os_wait_for_descriptor(ConnectionNumber(display), (int64_t)(deadline - now)) == os_wait_failed) {
            XPending(display);  // lets Xlib notice a broken connection
            return false;
        }
    }
}

// A server timestamp, from a zero-length append to our own window's property.
// An earlier append whose wait timed out leaves its older notice queued; taken
// instead, it would date a new ownership before the last one, which the server
// refuses. After the round trip our notice is queued too, and it is the last.
static Time server_time(void) {
    XChangeProperty(clip.display, clip.window, clip.atoms.transfer_property, XA_STRING, 8, PropModeAppend, nullptr,
                    0);
    XSync(clip.display, False);
    Time latest = CurrentTime;
    XEvent event;
    while (XCheckTypedWindowEvent(clip.display, clip.window, PropertyNotify, &event)) {
        if (event.xproperty.atom == clip.atoms.transfer_property && event.xproperty.state == PropertyNewValue)
            latest = event.xproperty.time;
    }
    return latest;
}

// ---------------------------------------------------------------------------
// Reading

struct clipboard_bytes {
    uint8_t* data;
    uint64_t length;
    Atom type;
};

// Appends the whole of our transfer property to out and deletes it.
static bool take_property(clipboard_bytes* out, int* format) {
    Display* display = clip.display;
    long offset = 0;
    for (;;) {
        Atom type = None;
        int item_format = 0;
        unsigned long items = 0, remaining = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, clip.window, clip.atoms.transfer_property, offset, 1 << 20, False,
                               AnyPropertyType, &type, &item_format, &items, &remaining, &data) != Success) {
            return false;
        }
        // Xlib hands 32-bit items back as longs.
        uint64_t item_bytes = item_format == 32 ? sizeof(long) : (uint64_t)item_format / 8;
        uint64_t bytes = (uint64_t)items * item_bytes;
        uint64_t wire_bytes = (uint64_t)items * (uint64_t)(item_format / 8);
        if (bytes) {
            uint8_t* grown = (uint8_t*)os_realloc(out->data, out->length + bytes + 1);
            if (!grown) {
                XFree(data);
                return false;
            }
            memcpy(grown + out->length, data, bytes);
            out->data = grown;
            out->length += bytes;
            out->data[out->length] = 0;
        }
        if (data) XFree(data);
        out->type = type;
        *format = item_format;
        offset += (long)(wire_bytes / 4);
        if (!remaining || !wire_bytes) break;
    }
    XDeleteProperty(display, clip.window, clip.atoms.transfer_property);
    XFlush(display);
    return true;
}

static void free_bytes(clipboard_bytes* bytes) {
    os_free(bytes->data);
    *bytes = {nullptr, 0, None};
}

// Our own offer, copied, when we own the clipboard: no round trip to ourselves.
static bool read_own(Atom target, clipboard_bytes* out) {
    const os_clipboard_offer* offer = find_offer(target);
    if (!offer) return false;
    out->data = (uint8_t*)os_alloc(offer->length + 1);
    if (!out->data) return false;
    memcpy(out->data, offer->bytes, offer->length);
    out->data[offer->length] = 0;
    out->length = offer->length;
    out->type = target;
    return true;
}

// The owner's data for a target, NUL-terminated; false when it has none or does
// not answer in time.
static bool read_target(Atom target, clipboard_bytes* out) {
    *out = {nullptr, 0, None};
    clip.owner_silent = 0;
    if (!clipboard_ready()) return false;
    Display* display = clip.display;
    if (clip.owned && XGetSelectionOwner(display, clip.atoms.clipboard) == clip.window) {
        if (target == clip.atoms.targets) {
            Atom list[os_clipboard_max_offers];
            for (uint32_t i = 0; i < clip.offer_count; i += 1) list[i] = clip.offers[i].target;
            out->data = (uint8_t*)os_alloc(sizeof(long) * clip.offer_count + 1);
            if (!out->data) return false;
            for (uint32_t i = 0; i < clip.offer_count; i += 1) ((long*)out->data)[i] = (long)list[i];
            out->length = sizeof(long) * clip.offer_count;
            out->type = XA_ATOM;
            return true;
        }
        return read_own(target, out);
    }
    if (XGetSelectionOwner(display, clip.atoms.clipboard) == None) return false;
    XDeleteProperty(display, clip.window, clip.atoms.transfer_property);
    XConvertSelection(display, clip.atoms.clipboard, target, clip.atoms.transfer_property, clip.window, CurrentTime);
    clipboard_wait wait = {SelectionNotify, clip.atoms.clipboard, {}};
    if (!wait_for(&wait, clipboard_wait_milliseconds)) {
        clip.owner_silent = 1;
        return false;
    }
    if (wait.found.xselection.property == None) return false;
    int format = 0;
    clipboard_bytes first = {nullptr, 0, None};
    if (!take_property(&first, &format)) {
        free_bytes(&first);
        return false;
    }
    if (first.type != clip.atoms.incr) {
        *out = first;
        return true;
    }
    free_bytes(&first);
    // INCR: each new value of the property is a piece; an empty one ends it.
    for (;;) {
        clipboard_wait piece_wait = {PropertyNotify, clip.atoms.transfer_property, {}};
        if (!wait_for(&piece_wait, clipboard_wait_milliseconds)) {
            free_bytes(out);
            return false;
        }
        uint64_t before = out->length;
        if (!take_property(out, &format)) {
            free_bytes(out);
            return false;
        }
        if (out->length == before) return true;
    }
}

// The targets the owner offers, in its order, without the ones that only
// describe the selection. count 0 when there is no owner.
static Atom* read_targets(uint32_t* count) {
    *count = 0;
    clipboard_bytes bytes;
    if (!read_target(clip.atoms.targets, &bytes)) return nullptr;
    long* items = (long*)bytes.data;
    uint64_t total = bytes.length / sizeof(long);
    Atom* list = (Atom*)os_alloc(sizeof(Atom) * (total + 1));
    if (!list) {
        free_bytes(&bytes);
        return nullptr;
    }
    const Atom skipped[] = {clip.atoms.targets, clip.atoms.timestamp, clip.atoms.multiple, clip.atoms.save_targets};
    for (uint64_t i = 0; i < total; i += 1) {
        Atom atom = (Atom)items[i];
        bool skip = atom == None;
        for (Atom s : skipped) skip = skip || atom == s;
        if (!skip) list[(*count)++] = atom;
    }
    free_bytes(&bytes);
    return list;
}

static os_clipboard_result as_result(clipboard_bytes* bytes) {
    if (!bytes->data || !bytes->length) {
        free_bytes(bytes);
        return {0, nullptr};
    }
    uint64_t length = bytes->length > 0xffffffffu ? 0xffffffffu : bytes->length;
    return {(uint32_t)length, bytes->data};
}

void os_clipboard_free(os_clipboard_result* result) {
    if (!result) return;
    os_free(result->data);
    result->data = nullptr;
    result->length = 0;
}

// ---------------------------------------------------------------------------
// Formats
// X has no format numbers: a listing numbers the owner's targets 1, 2, 3... in
// the order the owner gives them, and os_clipboard_get_data takes those numbers.

int32_t os_clipboard_list_formats(os_clipboard_format_callback* callback) {
    if (!clipboard_ready()) return 1;
    uint32_t count = 0;
    Atom* targets = read_targets(&count);
    for (uint32_t i = 0; i < count; i += 1) {
        char* name = XGetAtomName(clip.display, targets[i]);
        utf8_string text = os_string(name ? name : "???");
        if (callback) callback(i + 1, &text);
        if (name) XFree(name);
    }
    os_free(targets);
    return 0;
}

int32_t os_clipboard_print_formats(void) {
    if (!clipboard_ready()) return 0;
    uint32_t count = 0;
    Atom* targets = read_targets(&count);
    for (uint32_t i = 0; i < count; i += 1) {
        char* name = XGetAtomName(clip.display, targets[i]);
        os_print("CLIP %i = %s\n", (int)(i + 1), name ? name : "??? UNKNOWN");
        if (name) XFree(name);
    }
    os_free(targets);
    return 1;
}

os_clipboard_result os_clipboard_get_data(uint32_t format) {
    if (!clipboard_ready() || format == 0) return {0, nullptr};
    uint32_t count = 0;
    Atom* targets = read_targets(&count);
    Atom target = format <= count ? targets[format - 1] : None;
    os_free(targets);
    clipboard_bytes bytes = {nullptr, 0, None};
    if (target != None) read_target(target, &bytes);
    return as_result(&bytes);
}

// ---------------------------------------------------------------------------
// Typed reads

// Latin-1 becomes UTF-8: each byte from 0x80 up takes two.
static bool latin1_to_utf8(clipboard_bytes* bytes) {
    uint64_t extra = 0;
    for (uint64_t i = 0; i < bytes->length; i += 1) extra += bytes->data[i] >= 0x80;
    if (!extra) return true;
    uint8_t* wide = (uint8_t*)os_alloc(bytes->length + extra + 1);
    if (!wide) return false;
    uint64_t at = 0;
    for (uint64_t i = 0; i < bytes->length; i += 1) {
        uint8_t c = bytes->data[i];
        if (c < 0x80) {
            wide[at++] = c;
        } else {
            wide[at++] = (uint8_t)(0xc0 | (c >> 6));
            wide[at++] = (uint8_t)(0x80 | (c & 0x3f));
        }
    }
    wide[at] = 0;
    os_free(bytes->data);
    bytes->data = wide;
    bytes->length = at;
    return true;
}

// Text ends at its first NUL, as a C string would.
static void cut_at_nul(clipboard_bytes* bytes) {
    if (bytes->data) bytes->length = strnlen((const char*)bytes->data, bytes->length);
}

os_clipboard_result os_clipboard_get_text(void) {
    clipboard_bytes bytes = {nullptr, 0, None};
    if (!clipboard_ready()) return {0, nullptr};
    bool got = read_target(clip.atoms.utf8_string, &bytes);
    if (!got && !clip.owner_silent) got = read_target(XA_STRING, &bytes);
    cut_at_nul(&bytes);
    // Owners may answer any text request with Latin-1 STRING data.
    if (got && bytes.type == XA_STRING && !latin1_to_utf8(&bytes)) free_bytes(&bytes);
    return as_result(&bytes);
}

os_clipboard_result os_clipboard_get_file_name(void) {
    clipboard_bytes bytes = {nullptr, 0, None};
    if (!clipboard_ready() || !read_target(clip.atoms.uri_list, &bytes)) return {0, nullptr};
    uint32_t count = 0;
    char* paths = os_xdnd_parse_uri_list((const char*)bytes.data, (int64_t)bytes.length, &count);
    free_bytes(&bytes);
    if (!paths || !count) {
        os_free(paths);
        return {0, nullptr};
    }
    // The block holds the first path, its NUL, then the rest: the first is the result.
    return {(uint32_t)strlen(paths), (uint8_t*)paths};
}

os_clipboard_result os_clipboard_get_png(void) {
    clipboard_bytes bytes = {nullptr, 0, None};
    if (!clipboard_ready()) return {0, nullptr};
    read_target(clip.atoms.image_png, &bytes);
    return as_result(&bytes);
}

static uint32_t read_le32(const uint8_t* p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24; }

static void write_le32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i += 1) p[i] = (uint8_t)(v >> (8 * i));
}

uint64_t os_bmp_from_dib(const uint8_t* dib, uint64_t length, uint8_t** out) {
    *out = nullptr;
    if (!dib || length < bmp_info_header_bytes) return 0;
    uint32_t header = read_le32(dib);
    if (header < bmp_info_header_bytes || header > length) return 0;
    uint32_t image_size = read_le32(dib + 20);
    uint16_t bit_count = (uint16_t)(dib[14] | dib[15] << 8);
    uint32_t compression = read_le32(dib + 16);
    uint32_t colors_used = read_le32(dib + 32);
    // The pixels follow the colour masks of a plain info header with bit fields, and
    // the palette of an image of 8 bits or fewer.
    uint64_t masks = header == bmp_info_header_bytes && (compression == 3 || compression == 6) ? (compression == 3 ? 12 : 16) : 0;
    uint64_t palette_entries = colors_used ? colors_used : bit_count <= 8 ? (1u << bit_count) : 0;
    uint64_t pixel_offset = bmp_file_header_bytes + header + masks + palette_entries * 4;
    uint64_t file_size = bmp_file_header_bytes + length;
    // An uncompressed image may leave its size 0; the DIB's own length then stands.
    if (image_size && pixel_offset + image_size < file_size) file_size = pixel_offset + image_size;
    if (file_size > 0xffffffffu || pixel_offset > file_size) return 0;
    uint8_t* file = (uint8_t*)os_alloc(file_size + 1);
    if (!file) return 0;
    file[0] = 'B';
    file[1] = 'M';
    write_le32(file + 2, (uint32_t)file_size);
    write_le32(file + 6, 0);
    write_le32(file + 10, (uint32_t)pixel_offset);
    memcpy(file + bmp_file_header_bytes, dib, file_size - bmp_file_header_bytes);
    file[file_size] = 0;
    *out = file;
    return file_size;
}

os_clipboard_result os_clipboard_get_bmp(void) {
    clipboard_bytes bytes = {nullptr, 0, None};
    if (!clipboard_ready() || !read_target(clip.atoms.image_bmp, &bytes)) return {0, nullptr};
    if (bytes.length >= 2 && bytes.data[0] == 'B' && bytes.data[1] == 'M') return as_result(&bytes);
    // Some owners offer the bitmap without its file header.
    uint8_t* file = nullptr;
    uint64_t length = os_bmp_from_dib(bytes.data, bytes.length, &file);
    free_bytes(&bytes);
    clipboard_bytes converted = {file, length, None};
    return as_result(&converted);
}

// ---------------------------------------------------------------------------
// Writing

static void register_handover(void);

static bool add_offer(Atom target, const void* data, uint64_t length) {
    if (clip.offer_count >= os_clipboard_max_offers || find_offer(target)) return false;
    uint8_t* copy = (uint8_t*)os_alloc(length ? length : 1);
    if (!copy) return false;
    if (length) memcpy(copy, data, length);
    clip.offers[clip.offer_count++] = {target, copy, length};
    return true;
}

// Starts a new set of offers; the old ones go, as emptying a clipboard does.
static bool begin_offers(void) {
    if (!clipboard_ready()) return false;
    drop_offers();
    return true;
}

static void take_ownership(void) {
    Display* display = clip.display;
    clip.owned_since = server_time();
    XSetSelectionOwner(display, clip.atoms.clipboard, clip.window, clip.owned_since);
    clip.owned = XGetSelectionOwner(display, clip.atoms.clipboard) == clip.window;
    XFlush(display);
    register_handover();
}

// STRING is Latin-1: characters beyond it become '?'.
static uint64_t utf8_to_latin1(const char* text, uint64_t length, uint8_t* out) {
    uint64_t at = 0;
    for (uint64_t i = 0; i < length;) {
        uint8_t c = (uint8_t)text[i];
        uint32_t point = c;
        uint64_t size = c < 0x80 ? 1 : (c & 0xe0) == 0xc0 ? 2 : (c & 0xf0) == 0xe0 ? 3 : (c & 0xf8) == 0xf0 ? 4 : 1;
        if (size == 2 && i + 1 < length) point = ((uint32_t)(c & 0x1f) << 6) | ((uint8_t)text[i + 1] & 0x3f);
        out[at++] = size == 1 && c < 0x80 ? c : size == 2 && point <= 0xff ? (uint8_t)point : '?';
        i += size;
    }
    return at;
}

static void offer_text(utf8_string text) {
    uint64_t length = text.data && text.length > 0 ? (uint64_t)text.length : 0;
    add_offer(clip.atoms.utf8_string, text.data, length);
    add_offer(clip.atoms.text_plain_utf8, text.data, length);
    add_offer(clip.atoms.text, text.data, length);
    uint8_t* latin1 = (uint8_t*)os_alloc(length + 1);
    if (latin1) {
        add_offer(XA_STRING, latin1, utf8_to_latin1(text.data, length, latin1));
        os_free(latin1);
    }
}

void os_clipboard_set_text(utf8_string text) {
    if (!begin_offers()) return;
    offer_text(text);
    take_ownership();
}

void os_clipboard_set_text_and_data(utf8_string text, utf8_string data_type, utf8_string data) {
    if (!begin_offers()) return;
    offer_text(text);
    if (data_type.data && data_type.length > 0) {
        char name[256];
        uint64_t n = (uint64_t)data_type.length < sizeof name - 1 ? (uint64_t)data_type.length : sizeof name - 1;
        memcpy(name, data_type.data, n);
        name[n] = 0;
        add_offer(XInternAtom(clip.display, name, False), data.data, data.data && data.length > 0 ? (uint64_t)data.length : 0);
    }
    take_ownership();
}

void os_clipboard_set_image(utf8_string bmp, utf8_string bmp_v5, utf8_string png) {
    if (!begin_offers()) return;
    // Only a file with more than its two headers carries pixels.
    if (bmp.data && bmp.length > (int64_t)(bmp_file_header_bytes + bmp_info_header_bytes)) {
        add_offer(clip.atoms.image_bmp, bmp.data, (uint64_t)bmp.length);
    } else if (bmp_v5.data && bmp_v5.length > (int64_t)(bmp_file_header_bytes + bmp_v5_header_bytes)) {
        add_offer(clip.atoms.image_bmp, bmp_v5.data, (uint64_t)bmp_v5.length);
    }
    if (png.data && png.length > 0) add_offer(clip.atoms.image_png, png.data, (uint64_t)png.length);
    take_ownership();
}

void os_clipboard_snapshot(os_window* window) {
    if (!clipboard_ready()) return;
    Display* display = clip.display;
    Window source = window && window->native_handle ? (Window)window->native_handle : DefaultRootWindow(display);
    XWindowAttributes attributes;
    os_x11_begin_error_trap();
    XImage* image = nullptr;
    if (XGetWindowAttributes(display, source, &attributes) && attributes.width > 0 && attributes.height > 0) {
        image = XGetImage(display, source, 0, 0, (unsigned)attributes.width, (unsigned)attributes.height, AllPlanes,
                          ZPixmap);
    }
    if (os_x11_end_error_trap(display) || !image) {
        if (image) XDestroyImage(image);
        return;
    }
    uint32_t width = (uint32_t)attributes.width, height = (uint32_t)attributes.height;
    uint32_t* pixels = (uint32_t*)os_alloc((uint64_t)width * height * 4);
    if (pixels) {
        for (uint32_t y = 0; y < height; y += 1) {
            for (uint32_t x = 0; x < width; x += 1) pixels[(uint64_t)y * width + x] = 0xff000000u | (uint32_t)XGetPixel(image, (int)x, (int)y);
        }
        uint8_t* png = nullptr;
        uint64_t png_length = os_encode_png(pixels, width, height, &png);
        uint8_t* bmp = nullptr;
        uint64_t bmp_length = os_encode_bmp(pixels, width, height, &bmp);
        if (begin_offers()) {
            if (png_length) add_offer(clip.atoms.image_png, png, png_length);
            if (bmp_length) add_offer(clip.atoms.image_bmp, bmp, bmp_length);
            take_ownership();
        }
        os_free(png);
        os_free(bmp);
        os_free(pixels);
    }
    XDestroyImage(image);
}

// ---------------------------------------------------------------------------
// Image files for snapshots

static uint32_t crc32_of(const uint8_t* bytes, uint64_t length, uint32_t crc) {
    crc = ~crc;
    for (uint64_t i = 0; i < length; i += 1) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; bit += 1) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

static void write_be32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i += 1) p[i] = (uint8_t)(v >> (24 - 8 * i));
}

// A PNG of 8-bit RGBA rows in stored (uncompressed) deflate blocks: quick to make
// and readable by every decoder; a snapshot is rarely kept long.
uint64_t os_encode_png(const uint32_t* pixels, uint32_t width, uint32_t height, uint8_t** out) {
    *out = nullptr;
    if (!pixels || !width || !height || width > 0x10000000u / 4) return 0;
    uint64_t row = (uint64_t)width * 4 + 1;
    uint64_t raw = row * height;
    // Every block is full but the last; raw is never 0.
    uint64_t blocks = (raw + 65534) / 65535;
    uint64_t zlib_length = 2 + raw + blocks * 5 + 4;
    uint64_t total = 8 + 25 + 12 + zlib_length + 12;
    if (zlib_length > 0x7fffffffu) return 0;
    uint8_t* png = (uint8_t*)os_alloc(total);
    if (!png) return 0;
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    memcpy(png, signature, 8);
    uint8_t* at = png + 8;
    write_be32(at, 13);
    memcpy(at + 4, "IHDR", 4);
    write_be32(at + 8, width);
    write_be32(at + 12, height);
    at[16] = 8;  // bits per channel
    at[17] = 6;  // RGBA
    at[18] = at[19] = at[20] = 0;
    write_be32(at + 21, crc32_of(at + 4, 17, 0));
    at += 25;
    write_be32(at, (uint32_t)zlib_length);
    memcpy(at + 4, "IDAT", 4);
    uint8_t* z = at + 8;
    z[0] = 0x78;
    z[1] = 0x01;
    uint8_t* w = z + 2;
    uint32_t adler_a = 1, adler_b = 0;
    uint64_t left = raw;
    uint64_t block_left = 0;
    // Filter byte 0 then the row's pixels, streamed into blocks of at most 65535.
    for (uint32_t y = 0; y < height; y += 1) {
        for (uint64_t i = 0; i < row; i += 1) {
            if (!block_left) {
                uint64_t size = left < 65535 ? left : 65535;
                w[0] = size == left ? 1 : 0;
                w[1] = (uint8_t)size;
                w[2] = (uint8_t)(size >> 8);
                w[3] = (uint8_t)~size;
                w[4] = (uint8_t)(~size >> 8);
                w += 5;
                block_left = size;
                left -= size;
            }
            uint8_t byte = 0;
            if (i) {
                uint32_t p = pixels[(uint64_t)y * width + (i - 1) / 4];
                int channel = (int)((i - 1) % 4);
                byte = channel == 0 ? (uint8_t)(p >> 16) : channel == 1 ? (uint8_t)(p >> 8) : channel == 2 ? (uint8_t)p : (uint8_t)(p >> 24);
            }
            *w++ = byte;
            block_left -= 1;
            adler_a = (adler_a + byte) % 65521;
            adler_b = (adler_b + adler_a) % 65521;
        }
    }
    write_be32(w, (adler_b << 16) | adler_a);
    w += 4;
    write_be32(w, crc32_of(at + 4, 4 + zlib_length, 0));
    w += 4;
    write_be32(w, 0);
    memcpy(w + 4, "IEND", 4);
    write_be32(w + 8, crc32_of(w + 4, 4, 0));
    w += 12;
    *out = png;
    return (uint64_t)(w - png);
}

// A 32-bit BMP file, rows bottom-up as the format keeps them.
uint64_t os_encode_bmp(const uint32_t* pixels, uint32_t width, uint32_t height, uint8_t** out) {
    *out = nullptr;
    uint64_t image = (uint64_t)width * height * 4;
    uint64_t total = bmp_file_header_bytes + bmp_info_header_bytes + image;
    if (!pixels || !width || !height || total > 0xffffffffu || width > 0x7fffffff || height > 0x7fffffff) return 0;
    uint8_t* bmp = (uint8_t*)os_alloc_zeroed(total);
    if (!bmp) return 0;
    bmp[0] = 'B';
    bmp[1] = 'M';
    write_le32(bmp + 2, (uint32_t)total);
    write_le32(bmp + 10, (uint32_t)(bmp_file_header_bytes + bmp_info_header_bytes));
    uint8_t* info = bmp + bmp_file_header_bytes;
    write_le32(info, bmp_info_header_bytes);
    write_le32(info + 4, width);
    write_le32(info + 8, height);
    info[12] = 1;   // planes
    info[14] = 32;  // bits per pixel
    write_le32(info + 20, (uint32_t)image);
    uint8_t* rows = info + bmp_info_header_bytes;
    for (uint32_t y = 0; y < height; y += 1) {
        const uint32_t* source = pixels + (uint64_t)(height - 1 - y) * width;
        for (uint32_t x = 0; x < width; x += 1) write_le32(rows + ((uint64_t)y * width + x) * 4, source[x]);
    }
    *out = bmp;
    return total;
}

// ---------------------------------------------------------------------------
// Handing over

// At exit a clipboard manager, where one runs, takes copies of what we own, so
// the data outlives the program.
static void hand_over_at_exit(void) {
    // After the server went away, exit handlers must not touch the connection.
    if (!clip.owned || !clip.display || os_platform.display_lost) return;
    Display* display = clip.display;
    if (XGetSelectionOwner(display, clip.atoms.clipboard) != clip.window) return;
    if (XGetSelectionOwner(display, clip.atoms.clipboard_manager) == None) return;
    XConvertSelection(display, clip.atoms.clipboard_manager, clip.atoms.save_targets, None, clip.window,
                      clip.owned_since);
    clipboard_wait wait = {SelectionNotify, clip.atoms.clipboard_manager, {}};
    wait_for(&wait, clipboard_handover_milliseconds);
}

static void register_handover(void) {
    if (clip.handover_registered) return;
    clip.handover_registered = 1;
    atexit(hand_over_at_exit);
}
