// The library's static objects, defined in one translation unit so that their
// construction order at load (and the reverse destruction at unload) is fixed
// by this file rather than by link order.
