# Checks the rendered manuals beside the program: each is a PDF whose text
# holds its title and the words a reader looks for, with a sensible length.
#   cmake -DPDFTOTEXT=... -DPDFINFO=... -DDOCDIR=... -P checkpdfs.cmake

# file name | phrases that must appear | fewest pages | most pages
set(checks
    "Tavik7VUVozezoro.pdf|Quick Guide,Kurzanleitung,dialout|1|2"
    "Tavik7M_manual.pdf|User Manual,Bedienungsanleitung,Wizard,dialout,Tavik7_Output_Logfile1.txt|4|40"
    "Tavik7_M_Programmierhandbuch.pdf|Programming Manual,Programmierhandbuch,L_ZLW,S_ZLW,0x6F91|3|40"
)

set(failures 0)
foreach(check IN LISTS checks)
    string(REPLACE "|" ";" fields "${check}")
    list(GET fields 0 name)
    list(GET fields 1 phrases)
    list(GET fields 2 minPages)
    list(GET fields 3 maxPages)
    string(REPLACE "," ";" phrases "${phrases}")
    set(pdf "${DOCDIR}/${name}")
    if(NOT EXISTS "${pdf}")
        message(SEND_ERROR "missing: ${pdf}")
        math(EXPR failures "${failures} + 1")
        continue()
    endif()
    execute_process(COMMAND "${PDFINFO}" "${pdf}" OUTPUT_VARIABLE info RESULT_VARIABLE rc)
    string(REGEX MATCH "Pages: +([0-9]+)" _ "${info}")
    set(pages "${CMAKE_MATCH_1}")
    if(NOT rc EQUAL 0 OR pages STREQUAL "" OR pages LESS minPages OR pages GREATER maxPages)
        message(SEND_ERROR "${name}: ${pages} pages, expected ${minPages} to ${maxPages} (pdfinfo rc ${rc})")
        math(EXPR failures "${failures} + 1")
    endif()
    execute_process(COMMAND "${PDFTOTEXT}" -layout "${pdf}" - OUTPUT_VARIABLE text RESULT_VARIABLE rc)
    foreach(phrase IN ITEMS ${phrases})
        string(FIND "${text}" "${phrase}" at)
        if(at EQUAL -1)
            message(SEND_ERROR "${name}: text lacks \"${phrase}\"")
            math(EXPR failures "${failures} + 1")
        endif()
    endforeach()
    message(STATUS "${name}: ${pages} pages")
endforeach()
if(failures GREATER 0)
    message(FATAL_ERROR "${failures} problem(s) in the manuals")
endif()
