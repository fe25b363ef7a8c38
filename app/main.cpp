// The process entry: the platform layer's start, then app_main.
#include "app/app.h"
#include "os/os.h"

int main() {
    os_init();
    return app_main();
}
