/* Reads the application manifest from an executable's resources, where the loader reads it at
 * start-up (RT_MANIFEST, resource 1), prints it and checks that it declares what the tool relies
 * on: long paths, UTF-8 as the process's code page, and Windows 10 and 11 among the systems it is
 * written for. This program carries the same manifest, and checks that the loader applied it: its
 * ANSI code page is UTF-8. manifest_check EXE */
#include <stdio.h>
#include <string.h>
#include <windows.h>

static const char *const kDeclarations[] = {
    "<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true</longPathAware>",
    "<activeCodePage xmlns=\"http://schemas.microsoft.com/SMI/2019/WindowsSettings\">UTF-8</activeCodePage>",
    "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>",
};

int main(int argc, char **argv) {
    static char text[16384];
    HMODULE module;
    HRSRC resource;
    DWORD size;
    const void *data;
    int failures = 0;
    size_t i;
    if (argc != 2) return 2;
    if (GetACP() != CP_UTF8) {
        printf("this program runs with code page %u, not UTF-8: its manifest was not applied\n", GetACP());
        ++failures;
    }
    module = LoadLibraryExA(argv[1], NULL, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    resource = module ? FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)) : NULL;
    size = resource ? SizeofResource(module, resource) : 0;
    data = resource ? LockResource(LoadResource(module, resource)) : NULL;
    if (data == NULL || size == 0 || size >= sizeof text) {
        printf("%s: no application manifest\n", argv[1]);
        return 1;
    }
    memcpy(text, data, size);
    text[size] = 0;
    printf("%s\n", text);
    for (i = 0; i < sizeof kDeclarations / sizeof kDeclarations[0]; ++i) {
        if (strstr(text, kDeclarations[i]) != NULL) continue;
        printf("missing: %s\n", kDeclarations[i]);
        ++failures;
    }
    return failures == 0 ? 0 : 1;
}
