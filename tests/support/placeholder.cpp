// Keeps the support library non-empty.
namespace tessaread_test_support {}
