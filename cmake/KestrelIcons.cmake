# kestrel_icon_png(SVG SIZE PNG): renders the SVG into a square PNG of SIZE pixels at build time,
# so that no PNG of an icon ever drifts from its SVG.
function(kestrel_icon_png svg size png)
  cmake_path(GET png PARENT_PATH folder)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    # In a ThreadSanitizer build the renderer's reports come from Qt's own, uninstrumented
    # threads; they must not stop the build.
    COMMAND ${CMAKE_COMMAND} -E env TSAN_OPTIONS=report_bugs=0
            $<TARGET_FILE:kestrel-iconpng> ${svg} ${size} ${png}
    DEPENDS kestrel-iconpng ${svg} VERBATIM)
endfunction()
