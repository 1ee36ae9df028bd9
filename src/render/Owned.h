#pragma once

#include <memory>

using cairo_t = struct _cairo;
using cairo_surface_t = struct _cairo_surface;
using cairo_font_options_t = struct _cairo_font_options;
using cairo_region_t = struct _cairo_region;
using PangoContext = struct _PangoContext;
using PangoLayout = struct _PangoLayout;
using PangoFontDescription = struct _PangoFontDescription;
using PangoAttrList = struct _PangoAttrList;
using PangoFont = struct _PangoFont;
using PangoGlyphString = struct _PangoGlyphString;

namespace dunvel {

// How each kind of Cairo and Pango handle is let go of: the one place that names their destroy,
// free and unref calls, so no handle is released by hand (and none twice, or with the wrong
// call) on any path out of a function.
template <class Handle>
struct Release;
template <>
struct Release<cairo_t> {
  void operator()(cairo_t* handle) const;
};
template <>
struct Release<cairo_surface_t> {
  void operator()(cairo_surface_t* handle) const;
};
template <>
struct Release<cairo_region_t> {
  void operator()(cairo_region_t* handle) const;
};
template <>
struct Release<cairo_font_options_t> {
  void operator()(cairo_font_options_t* handle) const;
};
template <>
struct Release<PangoContext> {
  void operator()(PangoContext* handle) const;
};
template <>
struct Release<PangoLayout> {
  void operator()(PangoLayout* handle) const;
};
template <>
struct Release<PangoFontDescription> {
  void operator()(PangoFontDescription* handle) const;
};
template <>
struct Release<PangoAttrList> {
  void operator()(PangoAttrList* handle) const;
};
template <>
struct Release<PangoFont> {
  void operator()(PangoFont* handle) const;
};
template <>
struct Release<PangoGlyphString> {
  void operator()(PangoGlyphString* handle) const;
};

// Owns one Cairo or Pango handle, taking over the reference its create or new call returned:
// Owned<cairo_t> cr(cairo_create(surface)); cr.get() is the handle to pass to the library.
template <class Handle>
using Owned = std::unique_ptr<Handle, Release<Handle>>;

}  // namespace dunvel
