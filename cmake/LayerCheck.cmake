# Keeps the layers apart at configure time: lower layers never include upper ones.
#   platform/, http/, rules/  -> no download/, core/ or window-side folder, no Qt Gui/Widgets header
#   download/                 -> no core/, main/, widgets/ or dialogs/, and no Qt Gui/Widgets header
#   core/                     -> no main/, widgets/ or dialogs/, and no Qt Gui/Widgets header
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

set(window_side "^#include [\"<](main|widgets|dialogs|download|core)/")
set(gui_headers "^#include <(QtGui|QtWidgets|QWidget|QImage|QPixmap|QPainter|QApplication|QGuiApplication)")
foreach(folder platform http rules)
    kelvorn_check_layer(${folder} "${window_side}" "a Qt-Core-only layer includes the window side")
    kelvorn_check_layer(${folder} "${gui_headers}" "a Qt-Core-only layer includes Qt Gui or Widgets")
endforeach()
# A download engine reports to the window by signals and never includes it.
kelvorn_check_layer(download "^#include [\"<](main|widgets|dialogs|core)/" "a download engine includes the window side or the harvest core")
kelvorn_check_layer(download "${gui_headers}" "a download engine includes Qt Gui or Widgets")
# The harvest core runs without a window: the window shows it and forwards the user's actions.
kelvorn_check_layer(core "^#include [\"<](main|widgets|dialogs)/" "the harvest core includes the window side")
kelvorn_check_layer(core "${gui_headers}" "the harvest core includes Qt Gui or Widgets")
# A dialog returns what the user chose; it never reaches into the main window.
kelvorn_check_layer(dialogs "^#include [\"<]main/" "a dialog includes the main window")
