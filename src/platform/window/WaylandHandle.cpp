#include "platform/window/WaylandHandle.h"

#include <wayland-client.h>

namespace dunvel {

template <>
void WaylandDestroy<wl_buffer>::operator()(wl_buffer* object) const {
  wl_buffer_destroy(object);
}
template <>
void WaylandDestroy<wl_compositor>::operator()(wl_compositor* object) const {
  wl_compositor_destroy(object);
}
template <>
void WaylandDestroy<wl_display>::operator()(wl_display* object) const {
  wl_proxy_wrapper_destroy(object);
}
template <>
void WaylandDestroy<wl_event_queue>::operator()(wl_event_queue* object) const {
  wl_event_queue_destroy(object);
}
template <>
void WaylandDestroy<wl_region>::operator()(wl_region* object) const {
  wl_region_destroy(object);
}
template <>
void WaylandDestroy<wl_registry>::operator()(wl_registry* object) const {
  wl_registry_destroy(object);
}
template <>
void WaylandDestroy<wl_shm>::operator()(wl_shm* object) const {
  wl_shm_destroy(object);
}
template <>
void WaylandDestroy<wl_shm_pool>::operator()(wl_shm_pool* object) const {
  wl_shm_pool_destroy(object);
}
template <>
void WaylandDestroy<wl_subcompositor>::operator()(wl_subcompositor* object) const {
  wl_subcompositor_destroy(object);
}
template <>
void WaylandDestroy<wl_subsurface>::operator()(wl_subsurface* object) const {
  wl_subsurface_destroy(object);
}
template <>
void WaylandDestroy<wl_surface>::operator()(wl_surface* object) const {
  wl_surface_destroy(object);
}

}  // namespace dunvel
