# The pure core: the program's logic that needs nothing but the standard library,
# Qt Core and, for the debugger's connection, Qt Network. The program, its tests, benchmarks and fuzz targets all build it
# from this one list.
set(ONDREL_CORE_FILES
  editor/colouring.cpp editor/colouring.h
  editor/completion.cpp editor/completion.h
  editor/phppalette.cpp editor/phppalette.h
  editor/csstokens.cpp editor/csstokens.h
  editor/phpsignatures.cpp editor/phpsignatures.h
  editor/callhint.cpp editor/callhint.h
  editor/phpbrackets.cpp editor/phpbrackets.h
  editor/contexthelp.cpp editor/contexthelp.h
  editor/phphelppage.cpp editor/phphelppage.h
  editor/landing.cpp editor/landing.h
  io/textbytes.cpp io/textbytes.h
  io/textform.cpp io/textform.h
  editor/textsearch.cpp editor/textsearch.h
  editor/findtask.cpp editor/findtask.h
  editor/findjob.cpp editor/findjob.h
  files/urlrules.cpp files/urlrules.h
  files/linediff.cpp files/linediff.h
  io/savefile.cpp io/savefile.h
  files/listing.cpp files/listing.h
  io/readfile.cpp io/readfile.h
  io/fileidentity.cpp io/fileidentity.h
  io/recovery.cpp io/recovery.h
  io/recoverypaths.cpp io/recoverypaths.h
  base/ports.cpp base/ports.h
  base/childprocess.cpp base/childprocess.h
  preview/phpserver.cpp preview/phpserver.h
  preview/statustext.cpp preview/statustext.h
  settings/profile.cpp settings/profile.h
  settings/sidefiles.cpp settings/sidefiles.h
  settings/settingsregistry.cpp settings/settingsregistry.h
  base/integers.cpp base/integers.h
  base/linefile.cpp base/linefile.h
  io/ansitext.cpp io/ansitext.h
  base/virtualkeys.cpp base/virtualkeys.h
  app/commandline.cpp app/commandline.h
  app/handover.cpp app/handover.h
  db/packedrows.cpp db/packedrows.h
  db/consoletext.cpp db/consoletext.h
  db/builtindatabase.cpp db/builtindatabase.h
  db/sqldump.cpp db/sqldump.h
  db/serveraddress.cpp db/serveraddress.h
  db/sqlnames.cpp db/sqlnames.h
  db/connectionsecurity.cpp db/connectionsecurity.h
  search/sitefiles.cpp search/sitefiles.h
  search/fuzzymatch.cpp search/fuzzymatch.h
  search/jumphistory.cpp search/jumphistory.h
  files/recentfiles.cpp files/recentfiles.h
  files/siteguess.cpp files/siteguess.h
  search/findinfiles.cpp search/findinfiles.h
  search/phplexer.cpp search/phplexer.h
  search/definitionindex.cpp search/definitionindex.h
  debug/dbgpprotocol.cpp debug/dbgpprotocol.h
  debug/dbgpsession.cpp debug/dbgpsession.h
  debug/dbgplistener.cpp debug/dbgplistener.h
  debug/socketowner.cpp debug/socketowner.h
  debug/debugger.cpp debug/debugger.h
  debug/xdebugsetup.cpp debug/xdebugsetup.h
  debug/breakpointfile.cpp debug/breakpointfile.h)

# What a core file may not include: widgets, the editor component, the web
# engine, the MySQL client. Checked at every build of the core.
set(ONDREL_CORE_FORBIDDEN
  "#include *[<\"](QtWidgets/|QtGui/|QtWebEngine|Qsci/|mysql|mariadb|Q(Widget|Application|GuiApplication|Dialog|MessageBox|Label|Screen|Window|Painter|Color|Font|Icon|Pixmap|Image|KeyEvent|MouseEvent|WebEngine[A-Za-z]*|AbstractTableModel|AbstractItemModel)[>\"])")

# Adds the core library `name` built from the list above, sources under `src`.
function(ondrel_add_core name src)
  list(TRANSFORM ONDREL_CORE_FILES PREPEND ${src}/ OUTPUT_VARIABLE files)
  add_library(${name} STATIC ${files})
  target_include_directories(${name} PUBLIC ${src})
  find_library(XXHASH_LIB NAMES xxhash REQUIRED)
  target_link_libraries(${name} PUBLIC Qt6::Core Qt6::Network ${XXHASH_LIB})
  add_custom_target(${name}_include_check
    COMMAND ${CMAKE_COMMAND} "-DFILES=${files}" "-DFORBIDDEN=${ONDREL_CORE_FORBIDDEN}"
            -P ${src}/cmake/CheckCoreIncludes.cmake
    COMMENT "Checking that the core includes nothing beyond Qt Core" VERBATIM)
  add_dependencies(${name} ${name}_include_check)
endfunction()
