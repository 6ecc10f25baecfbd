/* Reads the Windows version resource of each FILE, as Explorer's Details tab shows it, prints it
 * and checks it against the arguments: version_resource_check VERSION FILE DESCRIPTION...
 * The product name must be "framedec", the file and product versions VERSION (as text, and as
 * VERSION.0 in the numeric part), the file description DESCRIPTION. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

static const char *Text(void *info, const char *name) {
    char path[128];
    char *value = NULL;
    UINT length = 0;
    snprintf(path, sizeof path, "\\StringFileInfo\\040904B0\\%s", name);
    return VerQueryValueA(info, path, (void **)&value, &length) && length > 0 ? value : "";
}

static int Check(const char *what, const char *actual, const char *expected) {
    printf("  %s: %s\n", what, actual);
    if (strcmp(actual, expected) == 0) return 0;
    printf("  expected %s: %s\n", what, expected);
    return 1;
}

int main(int argc, char **argv) {
    static char info[16384];
    int failures = 0, i;
    if (argc < 4 || argc % 2 != 0) return 2;
    for (i = 2; i + 1 < argc; i += 2) {
        VS_FIXEDFILEINFO *fixed = NULL;
        UINT length = 0;
        char numeric[64], expectedNumeric[64];
        printf("%s\n", argv[i]);
        if (GetFileVersionInfoSizeA(argv[i], NULL) > sizeof info ||
            !GetFileVersionInfoA(argv[i], 0, sizeof info, info) ||
            !VerQueryValueA(info, "\\", (void **)&fixed, &length)) {
            printf("  no version resource\n");
            ++failures;
            continue;
        }
        snprintf(numeric, sizeof numeric, "%lu.%lu.%lu.%lu", fixed->dwFileVersionMS >> 16, fixed->dwFileVersionMS & 0xFFFF,
                 fixed->dwFileVersionLS >> 16, fixed->dwFileVersionLS & 0xFFFF);
        failures += Check("ProductName", Text(info, "ProductName"), "framedec");
        failures += Check("FileVersion", Text(info, "FileVersion"), argv[1]);
        failures += Check("ProductVersion", Text(info, "ProductVersion"), argv[1]);
        failures += Check("FileDescription", Text(info, "FileDescription"), argv[i + 1]);
        snprintf(expectedNumeric, sizeof expectedNumeric, "%s.0", argv[1]);
        failures += Check("numeric file version", numeric, expectedNumeric);
    }
    return failures == 0 ? 0 : 1;
}
