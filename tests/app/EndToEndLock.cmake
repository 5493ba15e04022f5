# Runs after the discovered end-to-end tests are added: they share the "chromium" lock with the
# browser tests, so the two heavy kinds of test never run at the same time.
set_tests_properties(EndToEndTest.SearchRankingAndTodaysPicks PROPERTIES RESOURCE_LOCK chromium)
