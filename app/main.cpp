#include "app/app.h"
#include "os/os.h"

int main() {
    os_init();
    return app_main();
}
