target_sources(kestrel_platform PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/windowservices.cpp ${CMAKE_CURRENT_LIST_DIR}/windowservices.h)
# The services act on widgets; Widgets sits on Gui, below kestrel_ui, so nothing points up.
target_link_libraries(kestrel_platform PUBLIC Qt6::Widgets)
