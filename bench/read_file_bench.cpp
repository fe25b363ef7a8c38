// Reads one file whole, repeatedly, and reports the best and the median wall time.
// Usage: read_file_bench FILE [RUNS]
#include <stdio.h>
#include <stdlib.h>

#include "os/os.h"

enum : int { default_runs = 5, most_runs = 1000 };

int main(int argument_count, char** arguments) {
    if (argument_count < 2) {
        fprintf(stderr, "usage: %s FILE [RUNS]\n", arguments[0]);
        return 2;
    }
    os_init();
    int runs = argument_count > 2 ? atoi(arguments[2]) : default_runs;
    if (runs < 1) runs = 1;
    if (runs > most_runs) runs = most_runs;

    uint64_t times[most_runs];
    uint64_t size = 0;
    for (int run = 0; run < runs; run += 1) {
        uint64_t start = os_now_ticks();
        file_contents contents = os_read_entire_file(os_string(arguments[1]));
        uint64_t end = os_now_ticks();
        if (!contents.data) {
            fprintf(stderr, "cannot read %s\n", arguments[1]);
            return 1;
        }
        size = contents.size;
        os_free_file_contents(&contents);
        times[run] = os_ticks_to_microseconds(end - start);
    }
    // Insertion sort: the run count is small.
    for (int i = 1; i < runs; i += 1) {
        uint64_t value = times[i];
        int j = i - 1;
        while (j >= 0 && times[j] > value) {
            times[j + 1] = times[j];
            j -= 1;
        }
        times[j + 1] = value;
    }
    double best = (double)times[0] / 1e6;
    double median = (double)times[runs / 2] / 1e6;
    printf("bytes %llu runs %d best %.6f s median %.6f s (%.1f MiB/s best)\n", (unsigned long long)size, runs, best,
           median, best > 0 ? (double)size / (1024.0 * 1024.0) / best : 0.0);
    return 0;
}
