# The libraries of the Windows build (the `windows` preset), under the target names the Linux
# build gets from find_package and pkg-config. Debian ships no mingw builds of them, so only the
# header-only ones are used, through a folder of the build tree holding a link to each (the rest
# of the Linux include tree, glibc's headers among it, must stay out of the Windows compile), and
# Dear ImGui is built from Debian's source package of the installed headers' version
# (scripts/fetch-imgui-source.sh). HTTP goes over WinHTTP instead of libcurl.
set(QVX_IMGUI_SOURCE_DIR "" CACHE PATH "Dear ImGui's source folder (scripts/fetch-imgui-source.sh prints it)")
if(NOT EXISTS "${QVX_IMGUI_SOURCE_DIR}/imgui.cpp")
  message(FATAL_ERROR "QVX_IMGUI_SOURCE_DIR (\"${QVX_IMGUI_SOURCE_DIR}\") holds no imgui.cpp: build with "
    "`make windows`, which fetches Debian's source package of Dear ImGui first")
endif()

# Elsewhere than on Debian (the host's own compiler on Windows), QVX_THIRD_PARTY_INCLUDE_DIRS names
# the folders that hold these headers.
set(QVX_THIRD_PARTY_INCLUDE_DIRS "/usr/include;/usr/include/stb" CACHE STRING
  "Folders holding the header-only libraries (nlohmann, fmt, CLI, websocketpp, asio, stb)")
set(third_party_include ${CMAKE_BINARY_DIR}/third-party-include)
file(MAKE_DIRECTORY ${third_party_include})
foreach(entry nlohmann fmt CLI websocketpp asio asio.hpp stb_image.h stb_image_write.h)
  set(found "")
  foreach(folder ${QVX_THIRD_PARTY_INCLUDE_DIRS})
    if(EXISTS ${folder}/${entry})
      set(found ${folder}/${entry})
      break()
    endif()
  endforeach()
  if(NOT found)
    message(FATAL_ERROR "${entry} is in none of ${QVX_THIRD_PARTY_INCLUDE_DIRS}: install the packages with `make deps`")
  endif()
  file(CREATE_LINK ${found} ${third_party_include}/${entry} SYMBOLIC)
endforeach()

add_library(qvx_third_party_headers INTERFACE)
target_include_directories(qvx_third_party_headers SYSTEM INTERFACE ${third_party_include})

add_library(nlohmann_json::nlohmann_json ALIAS qvx_third_party_headers)
add_library(CLI11::CLI11 ALIAS qvx_third_party_headers)
add_library(qvx_fmt INTERFACE)
target_link_libraries(qvx_fmt INTERFACE qvx_third_party_headers)
target_compile_definitions(qvx_fmt INTERFACE FMT_HEADER_ONLY)
add_library(fmt::fmt ALIAS qvx_fmt)

# Dear ImGui's four core sources, one static library each module links a copy of (as Debian's
# libimgui.a on Linux).
add_library(qvx_imgui STATIC
  ${QVX_IMGUI_SOURCE_DIR}/imgui.cpp
  ${QVX_IMGUI_SOURCE_DIR}/imgui_draw.cpp
  ${QVX_IMGUI_SOURCE_DIR}/imgui_tables.cpp
  ${QVX_IMGUI_SOURCE_DIR}/imgui_widgets.cpp)
target_include_directories(qvx_imgui SYSTEM PUBLIC ${QVX_IMGUI_SOURCE_DIR})

# Every program and library links its C++ and thread runtimes statically: nothing but the
# system's DLLs and plexarsdk.dll beside it.
if(MSVC)
  set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")
else()
  add_link_options(-static)
endif()
add_library(PkgConfig::IMGUI ALIAS qvx_imgui)
add_library(PkgConfig::HOST_IMGUI ALIAS qvx_imgui)

# stb's image reading and writing (the toast textures, the pictures), whose code Debian's libstb
# holds on Linux: here compiled from its headers.
set(stb_source ${CMAKE_BINARY_DIR}/stb/stb_image.cpp)
file(WRITE ${stb_source}.new
  "#define STB_IMAGE_IMPLEMENTATION\n#define STBI_WINDOWS_UTF8\n#include <stb_image.h>\n"
  "#define STB_IMAGE_WRITE_IMPLEMENTATION\n#define STBIW_WINDOWS_UTF8\n#include <stb_image_write.h>\n")
file(COPY_FILE ${stb_source}.new ${stb_source} ONLY_IF_DIFFERENT)
add_library(qvx_stb STATIC ${stb_source})
target_link_libraries(qvx_stb PUBLIC qvx_third_party_headers)

# Windows 10's API (Winsock's and the file calls' newer parts).
add_compile_definitions(_WIN32_WINNT=0x0A00)
# WebSocket++ on the standard library's threads (on Linux it finds them by itself).
add_compile_definitions(_WEBSOCKETPP_CPP11_THREAD_)
