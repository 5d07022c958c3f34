# A core library is every .cpp of its folder (its ui/ subfolder excluded, that is Qt).
# An empty folder still gives a target, so dependants link before the code arrives.
function(kvt_core_library name dir)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${dir}/*.cpp)
  if(sources)
    add_library(kvt_${name} STATIC ${sources})
    set(scope PUBLIC)
  else()
    add_library(kvt_${name} INTERFACE)
    set(scope INTERFACE)
  endif()
  target_include_directories(kvt_${name} ${scope} ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR})
  foreach(dep IN LISTS ARGN)
    if(TARGET kvt_${dep})
      target_link_libraries(kvt_${name} ${scope} kvt_${dep})
    else()
      target_link_libraries(kvt_${name} ${scope} ${dep})
    endif()
  endforeach()
  add_library(kvt::${name} ALIAS kvt_${name})
endfunction()

# The Qt views of every subsystem (src/*/ui/*.cpp, sim/ui/*.cpp, src/platform/qt/*.cpp) and the
# pieces of the desktop program that join them (src/gui/*.cpp but its main.cpp).
function(kvt_ui_sources out)
  file(GLOB_RECURSE s CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/src/platform/qt/*.cpp
       ${CMAKE_SOURCE_DIR}/src/*/ui/*.cpp)
  file(GLOB more CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/sim/ui/*.cpp ${CMAKE_SOURCE_DIR}/src/gui/*.cpp)
  list(REMOVE_ITEM more ${CMAKE_SOURCE_DIR}/src/gui/main.cpp)
  list(APPEND s ${more})
  set(${out} ${s} PARENT_SCOPE)
endfunction()
