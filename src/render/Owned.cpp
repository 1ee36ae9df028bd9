#include "render/Owned.h"

#include <cairo.h>
#include <pango/pango.h>

namespace dunvel {

void Release<cairo_t>::operator()(cairo_t* handle) const {
  cairo_destroy(handle);
}
void Release<cairo_surface_t>::operator()(cairo_surface_t* handle) const {
  cairo_surface_destroy(handle);
}
void Release<cairo_region_t>::operator()(cairo_region_t* handle) const {
  cairo_region_destroy(handle);
}
void Release<cairo_font_options_t>::operator()(cairo_font_options_t* handle) const {
  cairo_font_options_destroy(handle);
}
void Release<PangoContext>::operator()(PangoContext* handle) const {
  g_object_unref(handle);
}
void Release<PangoLayout>::operator()(PangoLayout* handle) const {
  g_object_unref(handle);
}
void Release<PangoFontDescription>::operator()(PangoFontDescription* handle) const {
  pango_font_description_free(handle);
}
void Release<PangoAttrList>::operator()(PangoAttrList* handle) const {
  pango_attr_list_unref(handle);
}
void Release<PangoFont>::operator()(PangoFont* handle) const {
  g_object_unref(handle);
}
void Release<PangoGlyphString>::operator()(PangoGlyphString* handle) const {
  pango_glyph_string_free(handle);
}

}  // namespace dunvel
