// morvalen-bench-startup-wayland-floor [FACE_FILE]: the least a Wayland
// client that starts as Morvalen does can map, as the floor of its first
// frame and peak memory in wayland.py. It links what Morvalen's Wayland
// start must (libwayland-client, FreeType and the C++ runtime), binds the
// globals, maps one xdg-shell window and draws one string into its wl_shm
// buffer with FreeType, one-bit glyphs into 32-bit pixels, then waits for
// events until it is ended.
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "floor_text.h"
#include "xdg-shell-client-protocol.h"

namespace {

constexpr int kWidth = 360, kHeight = 120;

struct Globals {
    wl_compositor *compositor = nullptr;
    wl_shm *shm = nullptr;
    xdg_wm_base *wmBase = nullptr;
    bool configured = false;
};

void OnGlobal(void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t) {
    auto *g = static_cast<Globals *>(data);
    if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
        g->compositor =
            static_cast<wl_compositor *>(wl_registry_bind(registry, name, &wl_compositor_interface, 4));
    } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
        g->shm = static_cast<wl_shm *>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0) {
        g->wmBase = static_cast<xdg_wm_base *>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
    }
}

void OnGlobalRemove(void *, wl_registry *, uint32_t) {}

const wl_registry_listener kRegistry = {OnGlobal, OnGlobalRemove};

const xdg_wm_base_listener kWmBase = {
    [](void *, xdg_wm_base *base, uint32_t serial) { xdg_wm_base_pong(base, serial); }};

const xdg_surface_listener kXdgSurface = {[](void *data, xdg_surface *surface, uint32_t serial) {
    xdg_surface_ack_configure(surface, serial);
    static_cast<Globals *>(data)->configured = true;
}};

const xdg_toplevel_listener kToplevel = {
    [](void *, xdg_toplevel *, int32_t, int32_t, wl_array *) {},
    [](void *, xdg_toplevel *) {},
    [](void *, xdg_toplevel *, int32_t, int32_t) {},
    [](void *, xdg_toplevel *, wl_array *) {},
};

}  // namespace

int main(int argc, char **argv) {
    std::string facePath = argc > 1 ? argv[1] : "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
    wl_display *dpy = wl_display_connect(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "cannot connect to the Wayland display\n");
        return 1;
    }
    Globals g;
    wl_registry *registry = wl_display_get_registry(dpy);
    wl_registry_add_listener(registry, &kRegistry, &g);
    wl_display_roundtrip(dpy);
    if (!g.compositor || !g.shm || !g.wmBase) {
        std::fprintf(stderr, "the compositor lacks wl_compositor, wl_shm or xdg_wm_base\n");
        return 1;
    }
    xdg_wm_base_add_listener(g.wmBase, &kWmBase, nullptr);
    FT_Library lib;
    FT_Face face;
    if (FT_Init_FreeType(&lib) != 0 || FT_New_Face(lib, facePath.c_str(), 0, &face) != 0) {
        std::fprintf(stderr, "cannot load %s\n", facePath.c_str());
        return 1;
    }
    FT_Set_Pixel_Sizes(face, 0, 13);

    wl_surface *surface = wl_compositor_create_surface(g.compositor);
    xdg_surface *xdgSurface = xdg_wm_base_get_xdg_surface(g.wmBase, surface);
    xdg_surface_add_listener(xdgSurface, &kXdgSurface, &g);
    xdg_toplevel *toplevel = xdg_surface_get_toplevel(xdgSurface);
    xdg_toplevel_add_listener(toplevel, &kToplevel, nullptr);
    xdg_toplevel_set_title(toplevel, "floor");
    wl_surface_commit(surface);

    const size_t bytes = static_cast<size_t>(kWidth) * kHeight * 4;
    int fd = memfd_create("floor", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(bytes)) != 0) return 1;
    auto *pixels = static_cast<uint32_t *>(mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
    if (pixels == MAP_FAILED) return 1;
    wl_shm_pool *pool = wl_shm_create_pool(g.shm, fd, static_cast<int32_t>(bytes));
    wl_buffer *buffer =
        wl_shm_pool_create_buffer(pool, 0, kWidth, kHeight, kWidth * 4, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    for (size_t i = 0; i < bytes / 4; ++i) pixels[i] = 0xFFC0C0C0u;
    DrawFloorText(face, "Free space on all drives", 10, 30, pixels, kWidth, kHeight, 0xFF000000u);

    while (!g.configured && wl_display_dispatch(dpy) >= 0) {
    }
    wl_surface_attach(surface, buffer, 0, 0);
    wl_surface_damage_buffer(surface, 0, 0, kWidth, kHeight);
    wl_surface_commit(surface);
    while (wl_display_dispatch(dpy) >= 0) {
    }
    return 0;
}
