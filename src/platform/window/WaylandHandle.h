#pragma once

#include <memory>

struct wl_buffer;
struct wl_compositor;
struct wl_display;
struct wl_event_queue;
struct wl_region;
struct wl_registry;
struct wl_shm;
struct wl_shm_pool;
struct wl_subcompositor;
struct wl_subsurface;
struct wl_surface;

namespace dunvel {

// Destroys a Wayland object of this client's, each kind through its own request.
template <typename T>
struct WaylandDestroy {
  void operator()(T* object) const;
};

template <>
void WaylandDestroy<wl_buffer>::operator()(wl_buffer* object) const;
template <>
void WaylandDestroy<wl_compositor>::operator()(wl_compositor* object) const;
// Only ever a proxy wrapper of the display (wl_proxy_create_wrapper): the connection itself is
// never this client's to close.
template <>
void WaylandDestroy<wl_display>::operator()(wl_display* object) const;
template <>
void WaylandDestroy<wl_event_queue>::operator()(wl_event_queue* object) const;
template <>
void WaylandDestroy<wl_region>::operator()(wl_region* object) const;
template <>
void WaylandDestroy<wl_registry>::operator()(wl_registry* object) const;
template <>
void WaylandDestroy<wl_shm>::operator()(wl_shm* object) const;
template <>
void WaylandDestroy<wl_shm_pool>::operator()(wl_shm_pool* object) const;
template <>
void WaylandDestroy<wl_subcompositor>::operator()(wl_subcompositor* object) const;
template <>
void WaylandDestroy<wl_subsurface>::operator()(wl_subsurface* object) const;
template <>
void WaylandDestroy<wl_surface>::operator()(wl_surface* object) const;

// A Wayland object destroyed when its owner goes: members declared in the order they were made
// are destroyed in the reverse, as the protocol wants (a subsurface before its surface, every
// object before the queue its events go to).
template <typename T>
using WaylandHandle = std::unique_ptr<T, WaylandDestroy<T>>;

}  // namespace dunvel
