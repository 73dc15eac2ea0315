# One interface target that carries the language level, the warnings and the sanitizers
# for every target of the project.
add_library(erechnung_config INTERFACE)
target_compile_features(erechnung_config INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
target_compile_options(erechnung_config INTERFACE -Wall -Wextra -Werror)
# Qt's "signals"/"slots"/"emit" macros clash with GLib (GMime); we use Q_SIGNALS/Q_SLOTS/Q_EMIT.
target_compile_definitions(erechnung_config INTERFACE QT_NO_KEYWORDS)

if(ERECHNUNG_SANITIZE)
  target_compile_options(erechnung_config INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(erechnung_config INTERFACE -fsanitize=address,undefined)
endif()

# Coverage-guided fuzzing of the model, the view and the checks (tests/fuzz): clang only;
# every target is instrumented for libFuzzer and built with the sanitizers.
if(ERECHNUNG_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "ERECHNUNG_FUZZ needs clang (CXX=clang++)")
  endif()
  target_compile_options(erechnung_config INTERFACE -fsanitize=fuzzer-no-link,address,undefined
    -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(erechnung_config INTERFACE -fsanitize=address,undefined)
endif()
