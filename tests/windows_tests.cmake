# The widget-free tests, cross-built for Windows. scripts/windows-tests.sh runs them under Wine,
# each against serial lines that vantro-wine-lines, built for Linux, plays on pseudo-terminals mapped into
# the Wine prefix as COM ports.
add_library(vantro_test_support STATIC
    support/board_line.h support/board_line_common.cpp support/board_line_wine.cpp
    support/board_play.cpp support/board_play.h
    support/fake_link_view.cpp support/fake_link_view.h
    support/zorva_registry.cpp support/zorva_registry.h
)
target_include_directories(vantro_test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/support)
target_link_libraries(vantro_test_support PUBLIC vantro_station Qt6::Test Qt6::Network)

function(vantro_add_test name source)
    qt_add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE vantro_test_support)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "LC_ALL=C.UTF-8;${ARGN}" TIMEOUT 120)
endfunction()

vantro_add_test(tst_command_frame link/tst_command_frame.cpp)
vantro_add_test(tst_reply_recognition link/tst_reply_recognition.cpp LC_ALL=it_IT.UTF-8)
vantro_add_test(tst_port_catalog link/tst_port_catalog.cpp)
vantro_add_test(tst_port_access link/tst_port_access.cpp)
vantro_add_test(tst_transmit_pacer link/tst_transmit_pacer.cpp)
vantro_add_test(tst_receive_poller link/tst_receive_poller.cpp)
vantro_add_test(tst_receive_clock link/tst_receive_clock.cpp)
vantro_add_test(tst_link_controller link/tst_link_controller.cpp)
vantro_add_test(tst_link_live link/tst_link_live.cpp)
vantro_add_test(tst_reading_csv protocol/tst_reading_csv.cpp TZ=Europe/Rome LC_ALL=it_IT.UTF-8)
vantro_add_test(tst_frame_reader protocol/tst_frame_reader.cpp)
vantro_add_test(tst_temperature_text protocol/tst_temperature_text.cpp)
vantro_add_test(tst_port_name_setting settings/tst_port_name_setting.cpp)
vantro_add_test(tst_zorva_registry settings/tst_zorva_registry.cpp)
vantro_add_test(tst_calibration settings/tst_calibration.cpp)
vantro_add_test(tst_reading_recorder record/tst_reading_recorder.cpp TZ=Europe/Rome)
vantro_add_test(tst_reading_history record/tst_reading_history.cpp)
vantro_add_test(tst_alert_watch alert/tst_alert_watch.cpp LC_ALL=it_IT.UTF-8)
vantro_add_test(tst_station station/tst_station.cpp)

# The front ends as programs: the test starts vantro.exe and vantro-window.exe and plays the board.
vantro_add_test(tst_headless headless/tst_headless.cpp)
target_compile_definitions(tst_headless PRIVATE VANTRO_PATH="$<TARGET_FILE:vantro>"
                                                VANTRO_WINDOW_PATH="$<TARGET_FILE:vantro-window>")
add_dependencies(tst_headless vantro vantro-window)
