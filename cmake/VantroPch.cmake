# Precompiled Qt headers. The Qt headers a file includes take longer to compile than the file itself, and
# nearly every file includes much the same ones: with VANTRO_PCH they are compiled once per kind of target
# and every target of that kind reuses them. A kind is what its targets link that changes what the Qt headers
# say (QtTest's reads QT_WIDGETS_LIB, QT_GUI_LIB and QT_NETWORK_LIB, and the test's folder), and its host is
# compiled with exactly those definitions: GCC refuses a header compiled otherwise (-Winvalid-pch, an error
# with warnings as errors) rather than use it wrongly.
#
# A file that forgot to include a Qt header that a precompiled one holds still compiles where they are used.
# The builds without them refuse it: Windows' (VANTRO_PCH is off there) for the shared files, and CI's build
# on the other Debian release (VANTRO_PCH=OFF scripts/test.sh --quick) for all of them.
#
#   vantro_pch_host(<host> HEADERS <header>... LINK <library>...)  a kind, in the folder of its tests
#   vantro_use_pch()                        the calling folder's targets reuse the host of their kind

# The Qt headers most of src/ includes.
set(VANTRO_PCH_CORE_HEADERS
    <QtCore/QByteArray> <QtCore/QCoreApplication> <QtCore/QDateTime> <QtCore/QDir> <QtCore/QElapsedTimer>
    <QtCore/QFile> <QtCore/QFileInfo> <QtCore/QHash> <QtCore/QList> <QtCore/QObject> <QtCore/QString>
    <QtCore/QStringList> <QtCore/QTimer>)
set(VANTRO_PCH_WIDGETS_HEADERS <QtGui/QPainter> <QtWidgets/QApplication> <QtWidgets/QLabel>
    <QtWidgets/QLineEdit> <QtWidgets/QPushButton> <QtWidgets/QWidget>)

function(vantro_pch_host host)
    if(NOT VANTRO_PCH)
        return()
    endif()
    cmake_parse_arguments(HOST "" "" "HEADERS;LINK" ${ARGN})
    set(source ${CMAKE_CURRENT_BINARY_DIR}/${host}.cpp)
    file(CONFIGURE OUTPUT ${source} CONTENT "// Compiled only for its precompiled headers.\n")
    add_library(${host} OBJECT ${source})
    target_link_libraries(${host} PRIVATE ${HOST_LINK})
    target_precompile_headers(${host} PRIVATE ${HOST_HEADERS})
endfunction()

# Whether `target` links `library`, itself or through the project's own libraries.
function(vantro_links out target library)
    set(${out} FALSE PARENT_SCOPE)
    get_target_property(direct ${target} LINK_LIBRARIES)
    get_target_property(passed ${target} INTERFACE_LINK_LIBRARIES)
    foreach(linked IN LISTS direct passed)
        string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" linked "${linked}")
        if(linked STREQUAL library)
            set(${out} TRUE PARENT_SCOPE)
            return()
        endif()
        if(TARGET ${linked} AND NOT linked MATCHES "^Qt6::")
            vantro_links(found ${linked} ${library})
            if(found)
                set(${out} TRUE PARENT_SCOPE)
                return()
            endif()
        endif()
    endforeach()
endfunction()

function(vantro_use_pch)
    if(NOT VANTRO_PCH)
        return()
    endif()
    get_property(targets DIRECTORY PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        # Object libraries: the hosts, Qt's compiled resources and the layers' probes.
        if(NOT type MATCHES "^(STATIC_LIBRARY|MODULE_LIBRARY|EXECUTABLE)$")
            continue()
        endif()
        vantro_links(test ${target} Qt6::Test)
        vantro_links(widgets ${target} Qt6::Widgets)
        set(host vantro_pch)
        if(test)
            string(APPEND host _test)
        endif()
        if(widgets)
            string(APPEND host _widgets)
        endif()
        # A test host's definitions name its folder: a test elsewhere goes without.
        if(TARGET ${host})
            get_target_property(folder ${host} BINARY_DIR)
            if(NOT test OR folder STREQUAL CMAKE_CURRENT_BINARY_DIR)
                target_precompile_headers(${target} REUSE_FROM ${host})
            endif()
        endif()
    endforeach()
endfunction()
