# Keeps the layers apart at configure time: lower layers never include upper ones.
#   platform/, http/, rules/  -> no window-side folder and no Qt Gui/Widgets header
#   download/                 -> no main/, widgets/ or dialogs/, and no Qt Gui/Widgets header
function(kelvorn_check_layer folder pattern why)
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS
        ${CMAKE_SOURCE_DIR}/${folder}/*.cpp ${CMAKE_SOURCE_DIR}/${folder}/*.h)
    foreach(source ${sources})
        file(STRINGS ${source} hits REGEX "${pattern}")
        if(hits)
            list(GET hits 0 first)
            message(FATAL_ERROR "${source}: ${why}: ${first}")
        endif()
    endforeach()
endfunction()

set(window_side "^#include [\"<](main|widgets|dialogs|download)/")
set(gui_headers "^#include <(QtGui|QtWidgets|QWidget|QImage|QPixmap|QPainter|QApplication|QGuiApplication)")
foreach(folder platform http rules)
    kelvorn_check_layer(${folder} "${window_side}" "a Qt-Core-only layer includes the window side")
    kelvorn_check_layer(${folder} "${gui_headers}" "a Qt-Core-only layer includes Qt Gui or Widgets")
endforeach()
# A download engine reports to the window by signals and never includes it.
kelvorn_check_layer(download "^#include [\"<](main|widgets|dialogs)/" "a download engine includes the window side")
kelvorn_check_layer(download "${gui_headers}" "a download engine includes Qt Gui or Widgets")
