# Read by ctest before it runs anything: every test runs headless, without a window or a
# sound device, also when ctest is started by hand rather than through `make test`.
if(NOT DEFINED ENV{SDL_VIDEODRIVER})
  set(ENV{SDL_VIDEODRIVER} offscreen)
endif()
if(NOT DEFINED ENV{SDL_AUDIODRIVER})
  set(ENV{SDL_AUDIODRIVER} dummy)
endif()
