// Fuzz target: a whole session. The input becomes a window size, a types.c,
// a file in a heap block of exactly its size, and a run of events (moves,
// clicks, drags, wheel, keys with Shift and Control, typed characters,
// resizes) fed to app_on_event, with frames composed into an exact-size back
// buffer between them.
//
// Input: flags, width, height (one byte each), types.c length, file length
// (two bytes each), the types.c text, the file bytes, then the events.
#include <stdlib.h>
#include <string.h>

#include "app/app.h"
#include "app/app_state.h"
#include "app/measure_selection.h"
#include "app/sliced_jobs.h"
#include "fuzz_support.h"
#include "headless_window.h"
#include "types/growable_array.h"
#include "types/type_parser.h"
#include "views/views.h"

// Few frames per input keep the target at useful speed; a frame at the largest
// window size is most of its cost.
enum : int { max_events = 200, max_frames = 12 };

static const uint16_t keys[] = {
    os_key_left,    os_key_right,  os_key_up,     os_key_down,     os_key_page_up, os_key_page_down,
    os_key_home,    os_key_end,    os_key_delete, os_key_return,   os_key_escape,  os_key_backspace,
    os_key_a + 6,   os_key_a + 5,  os_key_a + 2,  os_key_0 + 1,    os_key_tab,     os_key_space,
    os_key_f1 + 2,  os_key_a + 8,
};

static headless_window headless;
static os_window& window = headless.window;

static void send(os_event event) {
    event.window = &window;
    app_on_event(&event);
}

static void send_key(uint16_t key, uint8_t state) {
    os_event event = {};
    event.kind = os_event_key;
    event.key = key;
    event.state = state;
    send(event);
}

// Mostly inside the window, sometimes far outside it.
static int32_t take_coordinate(fuzz_reader* in, int32_t extent) {
    uint8_t pick = take_u8(in);
    if (pick < 240) return (int32_t)take_between(in, -8, extent + 8);
    return (int32_t)take_u32(in);
}

static void run_events(fuzz_reader* in) {
    int frames = 0;
    input_begin_frame();
    for (int n = 0; n < max_events && !reader_done(in) && frames < max_frames; n++) {
        uint8_t op = take_u8(in);
        os_event event = {};
        switch (op % 10) {
        case 0:
            event.kind = os_event_mouse_move;
            event.x = take_coordinate(in, window.width);
            event.y = take_coordinate(in, window.height);
            send(event);
            break;
        case 1:
            event.kind = os_event_mouse_button;
            event.key = os_mouse_left;
            event.state = (op & 0x10) ? os_key_state_released : os_key_state_pressed;
            send(event);
            break;
        case 2:
            event.kind = os_event_mouse_wheel;
            event.wheel = (op & 0x10) ? 1 : -1;
            send(event);
            break;
        case 3:
            send_key(keys[take_u8(in) % (sizeof keys / sizeof keys[0])],
                     (op & 0x10) ? os_key_state_repeated : os_key_state_pressed);
            break;
        case 4:
            send_key((op & 0x10) ? os_key_control : os_key_shift,
                     (op & 0x20) ? os_key_state_released : os_key_state_pressed);
            break;
        case 5:
            event.kind = os_event_char;
            event.code = take_u8(in);
            send(event);
            break;
        case 6: {
            // A click on the structure view's toolbar and buttons, near its top.
            rect panel = app_state.struct_panel;
            event.kind = os_event_mouse_move;
            event.x = panel.x + (int32_t)take_between(in, 0, panel.w > 0 ? panel.w : 0);
            event.y = panel.y + (int32_t)take_between(in, 0, 160);
            send(event);
            os_event press = {};
            press.kind = os_event_mouse_button;
            press.key = os_mouse_left;
            press.state = os_key_state_pressed;
            send(press);
            [[fallthrough]];
        }
        case 7:
            sliced_jobs_run_for_frame();
            // Whole frames and the frame loop's recorded, compared ones, in turn.
            if (frames % 2) compose_next_frame();
            else compose_frame();
            input_begin_frame();
            frames++;
            break;
        case 8:
            use_headless_window(&headless, (int32_t)take_between(in, 1, 2600), (int32_t)take_between(in, 1, 1500),
                                true);
            event.kind = os_event_window_resize;
            event.width = window.width;
            event.height = window.height;
            send(event);
            break;
        default:
            event.kind = os_event_mouse_button;
            event.key = os_mouse_left;
            event.state = os_key_state_released;
            send(event);
            break;
        }
    }
    compose_frame();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_reader in = {data, size, 0};
    uint8_t flags = take_u8(&in);
    int32_t width = 200 + take_u8(&in) * 9;
    int32_t height = 100 + take_u8(&in) * 5;
    size_t types_length = take_u16(&in);
    size_t file_length = take_u16(&in);
    if (types_length > size - in.at) types_length = size - in.at;
    const uint8_t* types_text = data + in.at;
    in.at += types_length;
    if (file_length > size - in.at) file_length = size - in.at;
    const uint8_t* file_bytes = data + in.at;
    in.at += file_length;

    release_app_state();
    use_headless_window(&headless, width, height, true);
    start_shell(false);
    app_state.frame_ticks = os_now_ticks();
    capture_stdout_begin();  // the parser's error lines
    create_types_from_code((const char*)types_text, types_length);

    uint8_t* file = nullptr;
    if (!(flags & 1)) {
        // An exact-size block, so that any read past the file's end is caught.
        file = (uint8_t*)malloc(file_length ? file_length : 1);
        if (file_length) memcpy(file, file_bytes, file_length);
        app_state.file.data = file;
        app_state.file.size = file_length;
        static char path[] = "/fuzz/input.bin";
        app_state.file_path = path;
        app_state.file_path_len = sizeof path - 1;
        array_create(&app_state.placements, 128, sizeof(placement));
    }
    run_events(&in);
    sliced_job_stop(sliced_job_find);
    free(file);
    app_state.file = file_contents{};
    return 0;
}
