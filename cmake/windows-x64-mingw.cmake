# Cross-builds for 64-bit Windows with Debian's MinGW-w64 compiler against the prebuilt Qt
# kept beside the project (../shared/windows-qt), unpacked once into the build folder. The
# host's Qt provides moc, rcc and uic.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Set by the preset; try_compile projects run this file again without it and need no Qt.
if(KARVEL_WINDOWS_QT)
  # A clone elsewhere names the archive in the environment.
  if(DEFINED ENV{KARVEL_WINDOWS_QT_ARCHIVE})
    set(archive "$ENV{KARVEL_WINDOWS_QT_ARCHIVE}")
  else()
    set(archive "${CMAKE_CURRENT_LIST_DIR}/../../shared/windows-qt/qt6-mingw-6.4.2.tar.xz")
  endif()
  set(KARVEL_WINDOWS_QT_ARCHIVE "${archive}"
      CACHE FILEPATH "Prebuilt Qt for Windows, unpacked into KARVEL_WINDOWS_QT")
  get_filename_component(unpack_folder "${KARVEL_WINDOWS_QT}" DIRECTORY)
  if(NOT EXISTS "${KARVEL_WINDOWS_QT}/lib/cmake/Qt6/Qt6Config.cmake")
    if(NOT EXISTS "${KARVEL_WINDOWS_QT_ARCHIVE}")
      message(FATAL_ERROR "No prebuilt Qt for Windows at ${KARVEL_WINDOWS_QT_ARCHIVE}: set "
                          "KARVEL_WINDOWS_QT_ARCHIVE in the environment to where it is")
    endif()
    file(MAKE_DIRECTORY "${unpack_folder}")
    # The archive holds one folder, qt6-mingw.
    file(ARCHIVE_EXTRACT INPUT "${KARVEL_WINDOWS_QT_ARCHIVE}" DESTINATION "${unpack_folder}")
  endif()
  list(APPEND CMAKE_FIND_ROOT_PATH "${KARVEL_WINDOWS_QT}")
  list(APPEND CMAKE_PREFIX_PATH "${KARVEL_WINDOWS_QT}")
  # CTest runs the test programs under Wine, in a prefix of the build folder's own.
  set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run"
      "${unpack_folder}/wine-prefix" "${KARVEL_WINDOWS_QT}/bin")
  set(QT_HOST_PATH /usr)
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
endif()

list(APPEND CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
