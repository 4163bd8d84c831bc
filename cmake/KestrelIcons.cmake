# kestrel_icon_png(SVG SIZE OUT): renders the SVG into a square picture of SIZE pixels at build
# time (a PNG file, or bare pixels for an OUT ending in .rgba: tools/iconpng), so that no
# rendition of an icon ever drifts from its SVG.
function(kestrel_icon_png svg size out)
  cmake_path(GET out PARENT_PATH folder)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    # In a ThreadSanitizer build the renderer's reports come from Qt's own, uninstrumented
    # threads; they must not stop the build.
    COMMAND ${CMAKE_COMMAND} -E env TSAN_OPTIONS=report_bugs=0
            $<TARGET_FILE:kestrel-iconpng> ${svg} ${size} ${out}
    DEPENDS kestrel-iconpng ${svg} VERBATIM)
endfunction()
