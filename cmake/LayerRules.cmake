# The layer rules themselves, run as a script on every build (cmake -P), so an edit that makes a
# lower layer include an upper one fails the very next build, not only the next configure.
#   cmake -DSOURCE_DIR=<tree> -DSTAMP=<file> -P LayerRules.cmake
# Layers from the bottom: platform/ + http/, rules/, download/, core/, then the window side
# (widgets/, dialogs/, main/). A folder may include its own layer and those below it.
if(NOT SOURCE_DIR)
    message(FATAL_ERROR "LayerRules.cmake: SOURCE_DIR not set")
endif()

# Any spacing around "#" and "include", any "./" or "../" in front of the folder.
set(directive "^[ \t]*#[ \t]*include[ \t]*[\"<]([.][.]?/)*")
set(gui_headers "^[ \t]*#[ \t]*include[ \t]*<(QtGui|QtWidgets|QWidget|QImage|QPixmap|QPainter|QApplication|QGuiApplication)")

set(failures "")
# Every source of the folder with a line that matches the pattern is a failure.
function(kelvorn_layer_rule folder pattern why)
    file(GLOB_RECURSE sources ${SOURCE_DIR}/${folder}/*.cpp ${SOURCE_DIR}/${folder}/*.h)
    foreach(source ${sources})
        file(STRINGS ${source} hits REGEX "${pattern}")
        if(hits)
            list(GET hits 0 first)
            set(failures "${failures}${source}: ${why}: ${first}\n")
        endif()
    endforeach()
    set(failures "${failures}" PARENT_SCOPE)
endfunction()
function(kelvorn_no_upper folder upper why)
    kelvorn_layer_rule(${folder} "${directive}(${upper})/" "${why}")
    set(failures "${failures}" PARENT_SCOPE)
endfunction()

foreach(folder platform http)
    kelvorn_no_upper(${folder} "rules|download|core|main|widgets|dialogs" "the socket layer includes an upper layer")
endforeach()
kelvorn_no_upper(rules "download|core|main|widgets|dialogs" "the pure rules include an upper layer")
kelvorn_no_upper(download "core|main|widgets|dialogs" "a download engine includes an upper layer")
kelvorn_no_upper(core "main|widgets|dialogs" "the harvest core includes the window side")
kelvorn_no_upper(widgets "main|dialogs" "a widget includes the main window or a dialog")
kelvorn_no_upper(dialogs "main" "a dialog includes the main window")
# The command-line harvester runs where there is no display: the harvest core and below only.
kelvorn_no_upper(cli "main|widgets|dialogs" "the command-line harvester includes the window side")
foreach(folder platform http rules download core cli)
    kelvorn_layer_rule(${folder} "${gui_headers}" "a Qt-Core-only layer includes Qt Gui or Widgets")
endforeach()

if(failures)
    message(FATAL_ERROR "Layer rules broken:\n${failures}")
endif()
if(STAMP)
    file(TOUCH ${STAMP})
endif()
